#include "settings/settings.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

using namespace Mod_Main;
using Strings = std::vector<std::string>;

namespace {

Strings Used(const Strings& list, std::int32_t count) {
    return Strings(list.begin(), list.begin() + count);
}

TEST(Settings, TargetFileListRules) {
    struct Case { std::string value; Strings targets; };
    const Case cases[] = {
        {"app.log", {"app.log"}},
        {"C:\\a b\\x.log", {"C:\\a b\\x.log"}},
        {"*", {""}},
        {"A*B*", {"A", "B"}},
        {"A*B", {"A"}},  // the text after the last star is not watched
        {"A**B*", {"A", "", "B"}},
        {"*A", {""}},
    };
    for (const Case& c : cases) {
        Fake::Reset();
        SetTargets(c.value);
        EXPECT_EQ(Used(Settings.TargetFiles, Settings.TargetCount), c.targets) << c.value;
        EXPECT_EQ(Settings.LastSizes, std::vector<std::int64_t>(c.targets.size(), 0)) << c.value;
    }
}

TEST(Settings, RecipientListRules) {
    struct Case { std::string value; Strings recipients; };
    const Case cases[] = {
        {"A;B;", {"A", "B"}},
        {"A;B", {"A"}},
        {";", {""}},
        {"A", {}},  // no semicolon, no recipient
        {";;", {"", ""}},
        {"ops; dev ;", {"ops", " dev "}},
    };
    for (const Case& c : cases) {
        Fake::Reset();
        SetRecipients(c.value);
        EXPECT_EQ(Used(Settings.Recipients, Settings.RecipientCount), c.recipients) << c.value;
    }
}

TEST(Settings, NumberReader) {
    struct Case { std::string text; double value; };
    const Case cases[] = {
        {"60", 60}, {"1.5", 1.5}, {" -2.5", -2.5}, {"+3", 3}, {".5", 0.5},
        {"-.5", -0.5}, {"007", 7},
        // blanks, tabs and line feeds do not count, wherever they stand
        {"1 5", 15}, {"1\t2\n3", 123}, {"- 1 . 5", -1.5},
        // reading stops at the first character that cannot go on
        {"12abc", 12}, {"1.2.3", 1.2}, {"1,5", 1}, {"5%", 5}, {"5&", 5},
        {"1e5e3", 1e5}, {"0x10", 0}, {"--1", 0},
        // no number at all
        {"", 0}, {"abc", 0}, {".", 0}, {"-", 0}, {"e5", 0},
        // exponents, E or D; no digits means exponent 0
        {"1E3", 1000}, {"1d3", 1000}, {"2e-1", 0.2}, {"1E", 1}, {"1E+", 1},
        {"1.5D+2", 150}, {"1e-400", 0},
        // radix prefixes: 16-bit up to &HFFFF, 32-bit above
        {"&H10", 16}, {"&hff", 255}, {"&HaA", 170}, {"&HFFFF", -1}, {"&H8000", -32768},
        {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"&H7FFFFFFF", 2147483647},
        {"&O17", 15}, {"&o177777", -1}, {"&O18", 1}, {"&H1G", 1},
        {"&", 0}, {"&Z1", 0}, {"&H", 0}, {"& H 1 0", 16},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(Settings, IntervalRules) {
    const std::int32_t Overflow = 0;  // milliseconds are never 0
    struct Case { std::string value; std::int32_t ms; };
    const Case cases[] = {
        {"", 60000}, {"0", 60000}, {"abc", 60000}, {"0.0004", 60000},
        // milliseconds round half to even (0.5 ms is 0, so the default)
        {"0.0005", 60000}, {"0.0625", 62}, {"0.1875", 188}, {"-0.0625", -62},
        {"2147483.6474", 2147483647}, {"-1", -1000}, {"0.001", 1}, {"2147483.647", 2147483647},
        {"-2147483.648", -2147483647 - 1}, {"2147483.648", Overflow},
        {"1e10", Overflow}, {"-3e6", Overflow}, {"1e400", Overflow}, {"-1e309", Overflow},
        {"&H100000000", Overflow}, {std::string(400, '9'), Overflow},
        {"0." + std::string(400, '0') + "1e710", Overflow},  // 1e309: the zeros count once each
    };
    for (const Case& c : cases) {
        Fake::Reset();
        try {
            SetInterval(c.value);
            EXPECT_EQ(Settings.IntervalMs, c.ms) << '"' << c.value << '"';
        } catch (const std::overflow_error& error) {
            EXPECT_EQ(c.ms, Overflow) << '"' << c.value << '"';
            EXPECT_EQ(std::string(error.what()), "overflow: Interval \"" + c.value + "\"");
        }
    }
}

}  // namespace
