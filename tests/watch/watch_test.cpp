#include "watch/watch.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"
#include "settings/settings.h"

using Fake::host;
using Mod_Main::Settings;
using Strings = std::vector<std::string>;

namespace {

constexpr std::int64_t Missing = -1;
constexpr std::int64_t Vanishing = -2;  // exists, but gone when measured

void Watch(const std::string& targets, const std::string& recipients,
           const std::string& message = "") {
    Fake::Reset();
    Mod_Main::SetTargets(targets);
    Mod_Main::SetRecipients(recipients);
    Settings.MessageText = message;
}

void SetFile(const std::string& path, std::int64_t length) {
    host.files.erase(path);
    host.vanishing.clear();
    if (length == Vanishing) {
        host.files[path] = 1;
        host.vanishing.push_back(path);
    } else if (length != Missing) {
        host.files[path] = length;
    }
}

TEST(WatchPass, OneFileOverManyPasses) {
    const std::string NoChange = "Net Send ops \"No Changes on file a.log\"";
    const std::string Empty = "Net Send ops \"Filesize is NULL a.log\"";
    const std::string Gone = "Net Send ops \"File does not exist a.log\"";
    struct Pass { std::int64_t length; std::string notice; };
    const Pass passes[] = {
        {10, ""},  // the first pass is silent: the reference starts at 0
        {10, NoChange}, {10, NoChange}, {20, ""},
        {5, ""},  // shrinking to a non-zero length is silent
        {5, NoChange},
        {0, Empty}, {0, Empty},
        {5, NoChange},  // an empty file kept the earlier reference
        {Missing, Gone}, {5, NoChange},
        {Vanishing, Gone}, {5, NoChange},
        // lengths beyond 32 bits compare by their true value
        {4294967296, ""}, {4294967296 + 5, ""}, {5, ""}, {6442450944, ""},
        {6442450944, NoChange},
    };
    Watch("a.log", "ops;");
    int number = 1;
    for (const Pass& pass : passes) {
        SetFile("a.log", pass.length);
        host.commands.clear();
        Mod_Main::WatchPass();
        EXPECT_EQ(host.commands, pass.notice.empty() ? Strings{} : Strings{pass.notice})
            << "pass " << number << ", length " << pass.length;
        ++number;
    }
}

TEST(WatchPass, NoticeTexts) {
    struct Case { std::int64_t length; std::string message; std::string notice; };
    const Case cases[] = {
        {Missing, "", "File does not exist /x y"},
        {Missing, "Srv", "File does not exist /x y"},
        {0, "", "Filesize is NULL /x y"},
        {0, "Srv", "Srv [ Filesize is NULL /x y ]"},
        {3, "", "No Changes on file /x y"},
        {3, "Srv", "Srv [ No Changes on file /x y ]"},
    };
    for (const Case& c : cases) {
        Watch("/x y", "ops;", c.message);
        Settings.LastSizes[0] = 3;
        SetFile("/x y", c.length);
        Mod_Main::WatchPass();
        EXPECT_EQ(host.commands, Strings{"Net Send ops \"" + c.notice + "\""})
            << c.length << " " << c.message;
    }
}

TEST(WatchPass, EveryRecipientInOrderBeforeTheNextPath) {
    Watch("a*b*c*", "r1;r2;");
    host.files = {{"a", 0}, {"c", 4}};
    Mod_Main::WatchPass();
    EXPECT_EQ(host.commands, (Strings{
        "Net Send r1 \"Filesize is NULL a\"", "Net Send r2 \"Filesize is NULL a\"",
        "Net Send r1 \"File does not exist b\"", "Net Send r2 \"File does not exist b\""}));
}

TEST(WatchPass, TextsGoIntoTheCommandLineUnchanged) {
    Watch("say \"hi\" $(x)`y`;z", "a b;");
    Mod_Main::WatchPass();
    EXPECT_EQ(host.commands,
              Strings{"Net Send a b \"File does not exist say \"hi\" $(x)`y`;z\""});
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
