// What only the logic shows of start-up: each key is read only once the
// steps before it have passed, and the first error ends it. What the user
// is told is pinned end to end on the real programs (tests/end_to_end.py).
#include "startup/main.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

using Fake::host;
using Strings = std::vector<std::string>;

namespace {

TEST(Main, KeysAreReadInOrderUntilTheFirstError) {
    struct Case {
        bool settingsFile;
        std::map<std::string, std::string> settings;
        Strings keysRead;
        std::string end;  // the box "title|prompt|style", or how it went on
    };
    const Case cases[] = {
        {false, {{"TargetFile", "a*"}}, {}, "Sorry|no ini file|0"},
        {true, {{"NetSendAdr", "ops;"}}, {"TargetFile"}, "Sorry|no target file given|0"},
        // paths are tested before the recipients are read
        {true, {{"TargetFile", "a*x*y*"}}, {"TargetFile"}, "Target does not exist|x|48"},
        {true, {{"TargetFile", "a*"}}, {"TargetFile", "NetSendAdr"},
         "Sorry|no target for 'Net Send' given|0"},
        {true, {{"TargetFile", "a"}, {"NetSendAdr", "ops;"}, {"Interval", "3e6"}},
         {"TargetFile", "NetSendAdr", "Interval"}, "overflow"},
        {true, {{"TargetFile", "a*b*never"}, {"NetSendAdr", "ops;dev"}, {"Interval", "abc"},
                {"SendMessage", "Server 1"}},
         {"TargetFile", "NetSendAdr", "Interval", "SendMessage"}, "watching"},
    };
    for (const Case& c : cases) {
        Fake::Reset();
        host.settingsFileExists = c.settingsFile;
        host.settings = c.settings;
        host.files = {{"a", 5}, {"b", 7}};
        host.callBudget = 40;
        std::string end;
        try {
            Mod_Main::Main();
        } catch (const Fake::Ended&) {
            for (const std::string& message : host.messages)
                end += message;
        } catch (const std::overflow_error&) {
            end = "overflow";
        } catch (const Fake::OutOfCalls&) {
            end = "watching";
        }
        EXPECT_EQ(end, c.end) << c.end;
        EXPECT_EQ(host.keysRead, c.keysRead) << c.end;
    }
}

}  // namespace
