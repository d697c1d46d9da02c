#include "platform/command_line.h"

#include <gtest/gtest.h>

#include "platform/reader_cases.h"

namespace {

using Strings = std::vector<std::string>;

TEST(CommandLine, SplitsTheWindowsWay) {
    for (const Cases::CommandLine& c : Cases::CommandLineCases()) {
        Strings expected = {"prog"};
        expected.insert(expected.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(Platform::SplitCommandLine("prog " + c.line), expected) << c.line;
    }
}

TEST(CommandLine, QuotedArgumentsSplitBackUnchanged) {
    const Strings arguments = {"prog", "plain", "", "two words", "\"", "a\\b", "a\\\"b",
                               "ends\\", "ends with blank\\", "\\\\\"\\", "\t",
                               "$(x) `y`; 'z'", "\"\"\"", "a\"\"b c"};
    std::string line;
    for (const std::string& a : arguments)
        line += Platform::QuoteArgument(a) + " ";
    EXPECT_EQ(Platform::SplitCommandLine(line), arguments) << line;
}

}  // namespace
