// A scripted host for the logic's tests and the start-up fuzzer: settings
// and watched files held in memory, and a record of what was asked.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Fake {

struct Host {
    std::map<std::string, std::string> settings;  // keys of section General
    // path -> length; -1: it exists, but is gone by the time its length is asked
    std::map<std::string, std::int64_t> files;
    std::vector<std::string> calls;     // operation names, in order
    std::vector<std::string> commands;  // command lines started
    std::vector<std::string> said;      // lines warned
    // Operations allowed before the host throws OutOfCalls: the way out of
    // the endless watch loop.
    int callBudget = 10000;
};

extern Host host;

struct Ended {};       // thrown by EndProgram
struct OutOfCalls {};

// Fresh host and a fresh settings record.
void Reset();

}  // namespace Fake
