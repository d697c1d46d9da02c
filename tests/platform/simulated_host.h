// A simulated host for the policy both hosts share, whose clock moves only
// when the policy pauses or waits: minutes pass in microseconds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/host.h"

namespace Sim {

using Strings = std::vector<std::string>;
using namespace Platform;

struct Simulated {
    std::int64_t now = 0, rowStart = 0;
    std::map<Host::Process, std::int64_t> endsAt;  // of the messengers running
    Host::Process next = 1;
    std::size_t mostRunning = 0;
    int refusals = 0;  // of the next starts
    bool passing = true;
    std::int64_t lifetime = 0;
    std::string failure;  // how each messenger ends
    std::string errors;   // what each writes on standard error
    std::map<std::intptr_t, std::string> unread;  // of the messengers not collected
    Strings lines;        // "MS: W|E line", MS counted from the row's start
    std::string hung;  // the path whose looks answer only at hungUntil
    std::int64_t hungUntil = 0;
    int looks = 0, examiners = 0;  // looks begun, examiners alive
};

extern Simulated host;


// A line of the row, stamped with the milliseconds since its start.
void Record(const std::string& line);

// Starts a row of a table test: a clock well past the last row's minutes.
void NewRow();

}  // namespace Sim
