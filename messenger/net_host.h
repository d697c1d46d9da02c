// What the messenger does differently on each host; net.cpp does the rest
// alike on both. net_posix.cpp and net_windows.cpp supply these.
#pragma once

#include <string>

namespace NetHost {

// This host's name, as notices and mails name it.
std::string Name();

// The folder that holds the running program, without a trailing separator.
std::string ProgramDirectory();

// The settings file's bytes, empty when there is none; `reason` says why a
// file that is there cannot be read.
std::string ReadSettings(const std::string& path, std::string& reason);

// The system's words for an error number of its own.
std::string ErrorText(long error);

// A text of this host (an argument, a setting) in UTF-8.
std::string Utf8(const std::string& text);

// Readies standard output for the record line; false when there is none
// (a GUI program may have none).
bool PrepareOutput();

// "*" or a user name: the notice on their terminals. Empty when it went
// (or, as a courtesy, quietly did not), otherwise the reason. `line` is the
// record line, `text` the notice.
std::string ToTerminals(const std::string& recipient, const std::string& line,
                        const std::string& text, int boundSeconds);

// Says a failure where this host's administrators look.
void SayFailure(const std::string& line);

}  // namespace NetHost
