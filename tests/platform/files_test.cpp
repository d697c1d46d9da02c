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
    for (const bool hungFirst : {true, false}) {  // its late answer met with no idle examiner, or with one
        Sim::NewRow();
        host.hung = "hung", host.hungUntil = host.now + 200500, host.looks = host.examiners = 0;
        const std::int64_t b = ExamineBoundMs;
        const int hanging = static_cast<int>((200500 - b) / 1000) + 1;  // missing at once, with no second look
        std::string found, expected;  // a pass a second: the hung path and another
        for (int pass = 0; pass < 240; ++pass, PauseOneSecond()) {
            for (const char* path : {hungFirst ? "hung" : "ok", hungFirst ? "ok" : "hung"})
                found += FileExists(path) && FileLength(path) == 7 ? "+" : "-";
            expected += pass < hanging ? (hungFirst ? "-+" : "+-") : "++";  // only the first pass waited
        }
        const std::string said = ": W cannot examine hung: no answer within " + std::to_string(b / 1000) + " s";
        EXPECT_EQ(host.lines, (Strings{std::to_string(b) + said, std::to_string(b + 60000) + said,
                                       std::to_string(b + 120000) + said, std::to_string(b + 180000) + said}));
        EXPECT_EQ(found, expected);
        EXPECT_EQ(host.looks, 2 * 240 - (hanging - 1));
        EXPECT_EQ(host.examiners, 0) << "each ended: the idle one at each pause, the late one once it answered";
    }
    host.hung.clear();
}

}  // namespace
