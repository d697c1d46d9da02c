// What the messenger does differently on each host; net.cpp does the rest
// alike on both. net_posix.cpp and net_windows.cpp supply these.
#pragma once

#include <string>

namespace NetHost {

// Whatever a server or the output does, Net ends within this (and a second).
constexpr long BoundSeconds = SIZEGUARD_NET_SECONDS;

// What is left of the bound, in milliseconds, at least 1 (net.cpp).
long RemainingMs();

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

// The record line on standard output, where there is one (a GUI program
// may have none), within the bound; empty when written, else the reason.
std::string WriteRecord(const std::string& line);

// Empty when `name` is an account of this host (or the host cannot tell),
// else the reason.
std::string UnknownUser(const std::string& name, const std::string& host);

// "*" or a user name: the notice on their terminals, within the bound.
// Empty when it went (or, as a courtesy, quietly did not), otherwise the
// reason. `line` is the record line, `text` the notice.
std::string ToTerminals(const std::string& recipient, const std::string& line,
                        const std::string& text);

// Says a failure on standard error, and where `event`, where this host's
// administrators look besides.
void SayFailure(const std::string& line, bool event);

}  // namespace NetHost
