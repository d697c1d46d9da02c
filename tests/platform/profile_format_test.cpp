#include "platform/profile_format.h"

#include <gtest/gtest.h>

#include "platform/reader_cases.h"

namespace {

TEST(ProfileFormat, ValuesAsTheWindowsReaderGivesThem) {
    for (const Cases::Profile& c : Cases::ProfileCases())
        EXPECT_EQ(Platform::ProfileValue(c.text, "General", c.key), c.value) << c.name;
}

}  // namespace
