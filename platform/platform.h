// The operations the watchdog needs from its host. The logic reaches the
// operating system only through these, and the tests link a test double in
// their place. The host files (posix_host.cpp, windows_host.cpp) provide
// them, but for what both hosts do alike, written once above the host's
// primitives (host.h): FileExists, FileLength and PauseOneSecond in
// files.cpp, RunCommand and HandToMessengers in messengers.cpp, Warn in
// reports.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform {

// Directory holding the program's executable, without a trailing separator.
std::string ApplicationDirectory();

// True when the path names any existing file-system object. Never fails;
// a path that cannot be examined for another reason than its absence
// (permission, a loop of links, no answer within ExamineBoundMs) is said, at
// most once a minute, and counts as missing. A path that has not answered
// is not examined again until it does: it counts as missing at once.
bool FileExists(const std::string& path);

// Longest value the INI reader hands back: its 1024-character buffer less
// the terminator.
constexpr std::size_t ProfileValueLimit = 1023;

// The value of `key` in `section` of the settings file `file`, as the
// platform's INI reader delivers it: at most ProfileValueLimit characters,
// empty when the file, section or key is missing or the value is empty.
// Never fails.
std::string ReadProfileString(const std::string& section,
                              const std::string& key,
                              const std::string& file);

// The same value uncut, to tell what the cut of ReadProfileString loses.
std::string ReadWholeProfileString(const std::string& section,
                                   const std::string& key,
                                   const std::string& file);

// Says a line on standard error (on Windows also in the event log) and goes
// on: for what is wrong but must not stop the watching.
void Warn(const std::string& line);

// Length in bytes of the named file, 0 for a directory, or -1 when it
// cannot be found. Right after FileExists of the same path it is that
// examination's answer: one look a path a pass.
std::int64_t FileLength(const std::string& path);

// Window style of a started command, where the host has windows.
constexpr int MinimizedFocus = 2;

// Starts the command line as a new process and returns without waiting.
// A command that cannot be started is a fatal run-time error (throws).
void RunCommand(const std::string& commandLine, int style);

// The settings the messengers are to use, handed to every one started from
// now on (SIZEGUARD_INTERVAL_MS, SIZEGUARD_SEND_MESSAGE), so that they act
// on the values the watching runs with, not on a file edited since.
void HandToMessengers(std::int32_t intervalMs, const std::string& messageText);

void PauseOneSecond();

// Lets the host handle whatever is pending for the process, then returns;
// both hosts also collect the messengers that have ended here.
void DispatchEvents();

// Message box styles used by the program.
constexpr int OkOnly = 0;
constexpr int OkExclamation = 48;

// Shows a modal message and returns once it has been closed.
void ShowMessage(const std::string& prompt, int style,
                 const std::string& title);

// Ends the program at once.
[[noreturn]] void EndProgram();

}  // namespace Platform
