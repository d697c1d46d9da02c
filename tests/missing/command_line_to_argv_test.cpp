// Our command-line splitter held to a table of what Windows' own gives; on
// Windows, CommandLineToArgvW is held to the same table.
#include <gtest/gtest.h>

#include "missing/cases.h"
#include "missing/command_line_to_argv.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

std::vector<std::string> Split(const std::string& line) {
#ifdef _WIN32
    const std::wstring wide(line.begin(), line.end());
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(wide.c_str(), &count);
    std::vector<std::string> windows;
    for (int i = 0; i < count; ++i)
        windows.emplace_back(arguments[i], arguments[i] + wcslen(arguments[i]));
    LocalFree(arguments);
    EXPECT_EQ(Platform::SplitCommandLine(line), windows) << line;
#endif
    return Platform::SplitCommandLine(line);
}

TEST(CommandLine, SplitsTheWindowsWay) {
    for (const Cases::CommandLine& c : Cases::CommandLineCases()) {
        std::vector<std::string> expected = {"prog"};
        expected.insert(expected.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(Split("prog " + c.line), expected) << c.line;
    }
}

// Net.exe quotes the text it hands to msg.exe.
TEST(CommandLine, QuotedArgumentsSplitBackUnchanged) {
    const std::vector<std::string> arguments = {"prog", "plain", "", "two words", "\"", "a\\b", "a\\\"b",
                                                "ends\\", "ends with blank\\", "\\\\\"\\", "\t",
                                                "$(x) `y`; 'z'", "\"\"\"", "a\"\"b c"};
    std::string line;
    for (const std::string& argument : arguments)
        line += Platform::QuoteArgument(argument) + " ";
    EXPECT_EQ(Split(line), arguments) << line;
}

}  // namespace
