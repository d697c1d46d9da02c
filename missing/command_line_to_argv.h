// A stand-in for CommandLineToArgvW: command lines split into arguments as
// Windows programs split them, for POSIX, whose programs take an argument
// vector instead. Held to Windows' own under Wine by the tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Blanks and tabs separate, except inside quotes. A run of backslashes is
// literal unless a double quote follows it: then 2n give n and the quote
// counts as below, 2n+1 give n and a literal quote. In a run of double
// quotes each one counts up from 0 outside quotes or 1 inside; the count 3
// gives a literal quote and starts again at 0, and a run that leaves 2
// ends the quoting. So "a""b" is a"b, and "a""b c" splits after a"b.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The argument written so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(std::string_view argument);

}  // namespace Platform
