// Looks at watched paths within their bound, on the simulated host.
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/reports.h"
#include "platform/simulated_host.h"

using namespace Platform;
using Sim::host;
using Sim::Strings;

namespace {

TEST(Files, AHungPathMissingAtOnceUntilItAnswers) {
    Sim::NewRow();
    host.hung = "hung", host.hungUntil = host.now + 200500, host.looks = host.ends = 0;
    std::string found;  // a pass a second: the hung path, then another
    for (int pass = 0; pass < 240; ++pass, PauseOneSecond())
        for (const char* path : {"hung", "ok"})
            found += FileExists(path) && FileLength(path) == 7 ? "+" : "-";
    const std::int64_t b = ExamineBoundMs;
    const std::string said = ": W cannot examine hung: no answer within " + std::to_string(b / 1000) + " s";
    EXPECT_EQ(host.lines, (Strings{std::to_string(b) + said, std::to_string(b + 60000) + said,
                                   std::to_string(b + 120000) + said, std::to_string(b + 180000) + said}));
    // Missing at once while it hangs, with no second look: only the first pass waited.
    const int hanging = static_cast<int>((200500 - b) / 1000) + 1;
    std::string expected;
    for (int pass = 0; pass < 240; ++pass)
        expected += pass < hanging ? "-+" : "++";
    EXPECT_EQ(found, expected);
    EXPECT_EQ(host.looks, 2 * 240 - (hanging - 1));
    EXPECT_EQ(host.ends, 240) << "the idle examiner ended at each pause";
    host.hung.clear();
}

}  // namespace
