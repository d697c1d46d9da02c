#include "startup/main.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/fake_platform.h"
#include "settings/settings.h"

using Fake::host;
using Mod_Main::Settings;
using Strings = std::vector<std::string>;

namespace {

TEST(Main, EachConfigurationErrorShowsItsBoxAndEnds) {
    struct Case {
        const char* name;
        bool settingsFile;
        std::map<std::string, std::string> settings;
        Strings files;
        std::string message;
        Strings keysRead;
    };
    const Case cases[] = {
        {"no settings file", false, {{"TargetFile", "a*"}}, {"a"},
         "Sorry|no ini file|0", {}},
        {"no TargetFile", true, {{"NetSendAdr", "ops;"}}, {},
         "Sorry|no target file given|0", {"TargetFile"}},
        {"single star", true, {{"TargetFile", "*"}}, {},
         "Target does not exist||48", {"TargetFile"}},
        // paths are tested before the recipients are read
        {"missing target", true, {{"TargetFile", "a*b*c*"}}, {"a"},
         "Target does not exist|b|48", {"TargetFile"}},
        {"no NetSendAdr", true, {{"TargetFile", "a*"}}, {"a"},
         "Sorry|no target for 'Net Send' given|0", {"TargetFile", "NetSendAdr"}},
    };
    for (const Case& c : cases) {
        Fake::Reset();
        host.settingsFileExists = c.settingsFile;
        host.settings = c.settings;
        for (const std::string& f : c.files)
            host.files[f] = 1;
        EXPECT_THROW(Mod_Main::Main(), Fake::Ended) << c.name;
        EXPECT_EQ(host.messages, Strings{c.message}) << c.name;
        EXPECT_EQ(host.keysRead, c.keysRead) << c.name;
        EXPECT_EQ(host.calls.back(), "EndProgram") << c.name;
    }
}

TEST(Main, ValidSettingsFillTheRecordAndStartWatching) {
    Fake::Reset();
    host.settings = {{"TargetFile", "a*b*never"}, {"NetSendAdr", "ops;dev"},
                     {"Interval", "abc"}, {"SendMessage", "Server 1"}};
    host.files = {{"a", 5}, {"b", 7}};
    host.callBudget = 40;
    EXPECT_THROW(Mod_Main::Main(), Fake::OutOfCalls);

    EXPECT_EQ(host.keysRead, (Strings{"TargetFile", "NetSendAdr", "Interval", "SendMessage"}));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(Settings.IniPath, "C:\\watch\\Sizeguard.ini");
    EXPECT_EQ(Settings.TargetCount, 2);
    EXPECT_EQ(Settings.RecipientCount, 1);
    EXPECT_EQ(Settings.IntervalMs, 60000);
    EXPECT_EQ(Settings.MessageText, "Server 1");
    // The watch loop took over: both files measured, then the pause began.
    EXPECT_EQ(Settings.LastSizes, (std::vector<std::int64_t>{5, 7}));
    EXPECT_EQ(host.calls.back(), "DispatchEvents");
}

TEST(Main, RecipientsWithoutSemicolonPassAndNothingIsEverStarted) {
    Fake::Reset();
    host.settings = {{"TargetFile", "a"}, {"NetSendAdr", "ops"}, {"Interval", "0.1"}};
    host.files = {{"a", 5}};  // the same length at every pass
    host.callBudget = 200;
    EXPECT_THROW(Mod_Main::Main(), Fake::OutOfCalls);
    EXPECT_EQ(Settings.RecipientCount, 0);
    EXPECT_TRUE(host.commands.empty());
    EXPECT_TRUE(host.messages.empty());
}

TEST(Main, AnIntervalBeyond32BitsStopsStartUp) {
    Fake::Reset();
    host.settings = {{"TargetFile", "a"}, {"NetSendAdr", "ops;"}, {"Interval", "3e6"}};
    host.files = {{"a", 5}};
    EXPECT_THROW(Mod_Main::Main(), std::overflow_error);
    EXPECT_EQ(host.keysRead, (Strings{"TargetFile", "NetSendAdr", "Interval"}));
    EXPECT_EQ(host.calls.back(), "ReadProfileString");
}

}  // namespace
