// What both hosts do alike, written once above the few primitives each host
// supplies: report lines that cannot flood, examinations that cannot hang
// the watching, and the rules that keep the messengers in check (policy.cpp
// also provides FileExists, FileLength, RunCommand, HandToMessengers and Warn).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

// The longest wait for a watched path to answer, in milliseconds.
constexpr std::int64_t ExamineBoundMs = SIZEGUARD_EXAMINE_SECONDS * 1000;

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
    std::intptr_t errors;  // the read end of its standard error
    bool passing;          // refused for now (resources, a file held open)
    std::string reason;    // why it was refused, naming the program
};
Start StartProcess(const std::string& commandLine, int style);

// What a messenger has written on its standard error since the last read,
// without waiting: 0 when nothing is there now.
std::size_t ReadErrors(std::intptr_t errors, char* buffer, std::size_t size);
void CloseErrors(std::intptr_t errors);

// Set in the program's own environment, which every messenger inherits.
void SetEnvironment(const std::string& name, const std::string& value);

// One look at a path, made apart from the watching (a thread or a helper
// process of the host), since a dead share may hold it for ever.
struct Found {
    bool exists = false;
    std::int64_t length = -1;  // 0 for a directory
    std::string reason;        // why it could not be examined, other than absence
};
using Examiner = std::intptr_t;
// Starts examining the path on `examiner`, one that has answered (0: a new
// one), and returns the examiner used.
Examiner StartExamining(Examiner examiner, const std::string& path);
// True once the examiner has answered, waiting `ms` at most.
bool Answered(Examiner examiner, std::int64_t ms, Found& found);
// Releases an examiner that has answered.
void EndExaminer(Examiner examiner);

// True once the process has ended; it is then released, and `failure` says
// how it failed ("ended with status 3") or is left empty.
bool Ended(Process process, std::string& failure);

// Returns when one of the processes ends, or after `ms` at the latest.
void WaitForAnyEnd(const std::vector<Process>& processes, std::int64_t ms);

}  // namespace Host

}  // namespace Platform
