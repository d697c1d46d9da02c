// What both hosts do alike, written once above the few primitives each host
// supplies: report lines that cannot flood, and the rules that keep the
// messengers in check (policy.cpp also provides RunCommand and Warn).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

enum class Severity { Warning, Error };

void Say(Severity severity, const std::string& line);

// Says the line unless the same `about` was said less than a minute ago: a
// condition that may last for hours shows without flooding the journal.
// True when it was said.
bool SayEveryMinute(const std::string& about, Severity severity, const std::string& line);

// A path the host could not examine for another reason than its absence.
// The logic can only take it for missing, so the reason must be said.
void SayCannotExamine(const std::string& path, const std::string& reason);

// Collects the messengers that have ended, saying how each failed. Hosts
// call it while the watching pauses.
void CollectMessengers();

// The primitives each host supplies.
namespace Host {

using Process = std::intptr_t;

// Milliseconds on a clock that never goes back.
std::int64_t NowMs();
void Pause(std::int64_t ms);

// Writes "sizeguard: LINE" where the host keeps such lines.
void WriteReport(Severity severity, const std::string& line);

struct Start {
    bool started;
    Process process;
    bool passing;        // refused for now (resources, a file held open)
    std::string reason;  // why it was refused, naming the program
};
Start StartProcess(const std::string& commandLine, int style);

// True once the process has ended; it is then released, and `failure` says
// how it failed ("ended with status 3") or is left empty.
bool Ended(Process process, std::string& failure);

// Returns when one of the processes ends, or after `ms` at the latest.
void WaitForAnyEnd(const std::vector<Process>& processes, std::int64_t ms);

}  // namespace Host

}  // namespace Platform
