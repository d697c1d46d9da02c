#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/reports.h"
#include "platform/simulated_host.h"

using namespace Platform;
using Sim::host;
using Sim::Strings;

namespace {

TEST(Reports, ReasonsSaidOnceAMinuteForEachPath) {
    Sim::NewRow();
    for (std::int64_t at : {0, 1000, 59999, 60000})
        for (const char* path : {"a", "b"}) {
            host.now = host.rowStart + at;
            SayCannotExamine(path, "Permission denied");
        }
    EXPECT_EQ(host.lines, (Strings{"0: W cannot examine a: Permission denied",
                                   "0: W cannot examine b: Permission denied",
                                   "60000: W cannot examine a: Permission denied",
                                   "60000: W cannot examine b: Permission denied"}));
}

}  // namespace
