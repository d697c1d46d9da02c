#include "missing/command_line_to_argv.h"

namespace Platform {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    int quotes = 0;  // 0 outside quotes, 1 inside
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if ((c == ' ' || c == '\t') && quotes == 0) {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            std::size_t n = 1;
            while (i + n < line.size() && line[i + n] == '\\')
                ++n;
            const bool beforeQuote = i + n < line.size() && line[i + n] == '"';
            current.append(beforeQuote ? n / 2 : n, '\\');
            i += n;
            if (beforeQuote && n % 2 == 1) {
                current += '"';
                ++i;
            }
        } else if (c == '"') {
            while (i < line.size() && line[i] == '"') {
                if (++quotes == 3) {
                    current += '"';
                    quotes = 0;
                }
                ++i;
            }
            if (quotes == 2)
                quotes = 0;
        } else {
            current += c;
            ++i;
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
