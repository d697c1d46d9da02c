// Command lines as Windows programs split them into arguments, for hosts
// whose programs take an argument vector instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Blanks and tabs separate; double quotes group and are removed; a run of
// backslashes is literal unless a double quote follows it, where 2n give n
// and the quote groups, and 2n+1 give n and a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The argument written so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(std::string_view argument);

}  // namespace Platform
