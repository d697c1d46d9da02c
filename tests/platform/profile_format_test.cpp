#include "platform/profile_format.h"

#include <gtest/gtest.h>

namespace {

TEST(ProfileFormat, ValuesAsTheWindowsReaderGivesThem) {
    struct Case { const char* name; std::string text; std::string key; std::string value; };
    const std::string longValue(1100, 'x');
    const Case cases[] = {
        {"plain", "[General]\nTargetFile=a.log\n", "TargetFile", "a.log"},
        {"CRLF", "[General]\r\nTargetFile=a.log\r\nNetSendAdr=x;\r\n", "NetSendAdr", "x;"},
        {"CR only", "[General]\rA=1\rB=2", "B", "2"},
        {"blank lines", "\n\n[General]\n\n\r\n  \nA=1", "A", "1"},
        {"no final newline", "[General]\nA=1", "A", "1"},
        {"case of names", "[gEnErAl]\ntargetfile=a", "TargetFile", "a"},
        {"blanks around", "  [ General ]  \n \t A \t = \t v w \v\f\n", "A", "v w"},
        {"text after header", "[General] trailing\nA=1", "A", "1"},
        {"header without bracket", "[General\nA=1", "A", ""},
        {"last bracket closes", "[Gen]eral]\nA=1\n[General]]\nA=2", "A", ""},
        {"other section", "[Other]\nA=1\n[General]\nB=2", "A", ""},
        {"before any header", "A=1\n[General]\nB=2", "A", ""},
        {"first section only", "[General]\nA=1\n[General]\nB=2", "B", ""},
        {"first key wins", "[General]\nA=1\nA=2", "A", "1"},
        {"comment", "[General]\n;A=1\n  ;A=2\nA=3", "A", "3"},
        {"no equals sign", "[General]\nA\nA=1", "A", ""},
        {"other key without value", "[General]\nB\nA=1", "A", "1"},
        {"first equals sign", "[General]\nA=b=c", "A", "b=c"},
        {"empty value", "[General]\nA=\nA=2", "A", ""},
        {"missing key", "[General]\nB=1", "A", ""},
        {"double quotes", "[General]\nA=\" x \"", "A", " x "},
        {"single quotes", "[General]\nA='x'", "A", "x"},
        {"one pair only", "[General]\nA=\"\"x\"\"", "A", "\"x\""},
        {"unmatched quotes", "[General]\nA=\"x'", "A", "\"x'"},
        {"lone quote", "[General]\nA=\"", "A", "\""},
        {"quote inside", "[General]\nA=x \"y\"", "A", "x \"y\""},
        {"empty quotes", "[General]\nA=\"\"", "A", ""},
        {"NUL ends the value", std::string("[General]\nA=ab\0cd\nB=1", 22), "A", "ab"},
        {"byte-order mark", "\xEF\xBB\xBF[General]\nA=1", "A", "1"},
        {"bytes unchanged", "[General]\nA=\xE9t\xE9\xFF", "A", "\xE9t\xE9\xFF"},
        {"long value cut", "[General]\nA=" + longValue, "A", longValue.substr(0, 1023)},
        {"empty file", "", "A", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Platform::ProfileValue(c.text, "General", c.key), c.value) << c.name;
}

}  // namespace
