#include "platform/command_line.h"

namespace Platform {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            std::size_t n = 1;
            while (i + n < line.size() && line[i + n] == '\\')
                ++n;
            const bool beforeQuote = i + n < line.size() && line[i + n] == '"';
            current.append(beforeQuote ? n / 2 : n, '\\');
            i += n - 1;
            if (beforeQuote && n % 2 == 1) {
                current += '"';
                ++i;
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else {
            current += c;
        }
    }
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

std::string QuoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
        return std::string(argument);
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\');  // before the closing quote
    return quoted + '"';
}

}  // namespace Platform
