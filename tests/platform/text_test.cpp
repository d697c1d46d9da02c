// Our INI reader and command-line splitter, held to the tables that
// Windows' own are held to.
#include <gtest/gtest.h>

#include "platform/command_line.h"
#include "platform/profile_format.h"
#include "platform/reader_cases.h"

namespace {

TEST(ProfileFormat, ValuesAsTheWindowsReaderGivesThem) {
    for (const Cases::Profile& c : Cases::ProfileCases())
        EXPECT_EQ(Platform::ProfileValue(c.text, "General", c.key), c.value) << c.name;
}

TEST(CommandLine, SplitsTheWindowsWay) {
    for (const Cases::CommandLine& c : Cases::CommandLineCases()) {
        std::vector<std::string> expected = {"prog"};
        expected.insert(expected.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(Platform::SplitCommandLine("prog " + c.line), expected) << c.line;
    }
}

}  // namespace
