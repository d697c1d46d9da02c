#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

TEST(CommandLine, SplitsTheWindowsWay) {
    struct Case { std::string line; Strings arguments; };
    const Case cases[] = {
        {"Net Send ops \"No Changes on file a.log\"",
         {"Net", "Send", "ops", "No Changes on file a.log"}},
        {"  a\t\tb  ", {"a", "b"}},
        {"", {}},
        {"a \"\" b", {"a", "", "b"}},
        {"x a\"b c\"d", {"x", "ab cd"}},
        {"a \"unclosed text", {"a", "unclosed text"}},
        {"a C:\\dir\\x.log", {"a", "C:\\dir\\x.log"}},
        {"a \"C:\\dir\\\\\"", {"a", "C:\\dir\\"}},  // 2n backslashes: n, quote closes
        {"a \\\"x", {"a", "\"x"}},                  // 2n+1: n and a literal quote
        {"a \\\\\\\"x", {"a", "\\\"x"}},
        {"a \\\\\\\\\"x y\"", {"a", "\\\\x y"}},
        {"a b\\", {"a", "b\\"}},
        // runs of quotes: every third is literal; two in quotes end them
        {"\"a\"\"b\"", {"a\"b"}},
        {"\"a\"\"b c\"", {"a\"b", "c"}},
        {"\"\"\"a\"\"\"", {"\"a\""}},
        {"a\"\"\"b", {"a\"b"}},
        {"\"\"\"\"", {"\""}},
        // quotes inside the notice text toggle the grouping
        {"Net Send ops \"File does not exist say \"hi\" now\"",
         {"Net", "Send", "ops", "File does not exist say hi now"}},
        {"Net Send ops \"File does not exist a\"b c\"",
         {"Net", "Send", "ops", "File does not exist ab", "c"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Platform::SplitCommandLine(c.line), c.arguments) << c.line;
}

TEST(CommandLine, QuotedArgumentsSplitBackUnchanged) {
    const Strings arguments = {"plain", "", "two words", "\"", "a\\b", "a\\\"b",
                               "ends\\", "ends with blank\\", "\\\\\"\\", "\t",
                               "$(x) `y`; 'z'"};
    std::string line = "prog";
    for (const std::string& a : arguments)
        line += " " + Platform::QuoteArgument(a);
    Strings expected = {"prog"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(Platform::SplitCommandLine(line), expected) << line;
}

}  // namespace
