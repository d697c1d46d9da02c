// What only the logic shows of a pass: the order of the commands and of the
// pauses. The findings and notices over several passes are pinned end to
// end on the real programs (tests/end_to_end.py).
#include "watch/watch.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"
#include "settings/settings.h"

using Fake::host;
using Mod_Main::Settings;
using Strings = std::vector<std::string>;

namespace {

void Watch(const std::string& targets, const std::string& recipients) {
    Fake::Reset();
    Mod_Main::SetTargets(targets);
    Mod_Main::SetRecipients(recipients);
}

TEST(WatchPass, EveryRecipientInOrderBeforeTheNextPath) {
    Watch("a*b*c*d*", "r1;r2;");
    host.files = {{"a", 0}, {"c", 4}, {"d", -1}};  // d is gone when measured
    Mod_Main::WatchPass();
    EXPECT_EQ(host.commands, (Strings{
        "Net Send r1 \"Filesize is NULL a\"", "Net Send r2 \"Filesize is NULL a\"",
        "Net Send r1 \"File does not exist b\"", "Net Send r2 \"File does not exist b\"",
        "Net Send r1 \"File does not exist d\"", "Net Send r2 \"File does not exist d\""}));
}

TEST(WatchLoop, PausesWholeSecondsBetweenPasses) {
    struct Case { std::int32_t intervalMs; int sleeps; };
    const Case cases[] = {
        {60000, 60}, {2500, 2}, {1500, 2}, {1000, 1}, {501, 1},
        {500, 0}, {1, 0}, {-1000, 0},
    };
    for (const Case& c : cases) {
        Watch("a", "ops");
        host.files = {{"a", 1}};
        Settings.IntervalMs = c.intervalMs;
        Strings pass = {"FileExists", "FileLength"};
        Strings expected = pass;
        for (int j = 0; j < c.sleeps; ++j)
            expected.insert(expected.end(), {"PauseOneSecond", "DispatchEvents"});
        expected.insert(expected.end(), pass.begin(), pass.end());
        host.callBudget = static_cast<int>(expected.size());
        EXPECT_THROW(Mod_Main::WatchLoop(), Fake::OutOfCalls);
        EXPECT_EQ(host.calls, expected) << c.intervalMs;
    }
}

}  // namespace
