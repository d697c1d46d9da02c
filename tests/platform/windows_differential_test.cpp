// Our INI and command-line readers, case by case next to the Windows
// entries they stand in for on other hosts. Run under wine64; where Wine is
// known to differ from Windows, Windows wins and the case says why.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "platform/command_line.h"
#include "platform/profile_format.h"

namespace {

// Cases where our reader deliberately or knowingly gives another answer.
// None under Wine. Windows itself misses a header behind a UTF-8
// byte-order mark, which we skip on purpose, as Wine does.
const std::map<std::string, std::string> ProfileDifferences = {};

TEST(AgainstWindows, ProfileReader) {
    struct Case { std::string name; std::string text; std::string section; std::string key; };
    const std::string g = "[General]\r\n";
    const Case cases[] = {
        {"plain", g + "TargetFile=a.log*\r\n", "General", "TargetFile"},
        {"LF only", "[General]\nA=1\nB=2\n", "General", "B"},
        {"CR only", "[General]\rA=1\rB=2", "General", "B"},
        {"blank lines", "\n\r\n[General]\n\n\nA=1", "General", "A"},
        {"case", "[gEnErAl]\r\ntargetFILE=x", "General", "TargetFile"},
        {"blanks", " [ General ] \r\n \t A \t = \t v w \t\r\n", "General", "A"},
        {"text after header", "[General] x\r\nA=1", "General", "A"},
        {"header without bracket", "[General\r\nA=1", "General", "A"},
        {"last bracket closes", "[Gen]eral]\r\nA=1\r\n[General]]\r\nA=2", "General", "A"},
        {"header after bracket", "[General]]\r\nA=1\r\n[General]\r\nA=2", "General", "A"},
        {"other section", "[Other]\r\nA=1\r\n[General]\r\nB=2", "General", "A"},
        {"before any header", "A=1\r\n" + g + "B=2", "General", "A"},
        {"duplicate section", g + "A=1\r\n" + g + "B=2", "General", "B"},
        {"duplicate key", g + "A=1\r\nA=2", "General", "A"},
        {"comment", g + ";A=1\r\n  ;A=2\r\nA=3", "General", "A"},
        {"no equals sign", g + "A\r\nA=1", "General", "A"},
        {"other key without value", g + "B\r\nA=1", "General", "A"},
        {"empty name", g + "=x\r\nA=1", "General", "A"},
        {"comment with equals", g + ";A=1\r\n", "General", ";A"},
        {"second equals sign", g + "A=b=c", "General", "A"},
        {"empty value", g + "A=\r\nA=2", "General", "A"},
        {"missing key", g + "B=1", "General", "A"},
        {"missing section", "[Other]\r\nA=1", "General", "A"},
        {"double quotes", g + "A=\" x \"", "General", "A"},
        {"single quotes", g + "A='x'", "General", "A"},
        {"nested quotes", g + "A=\"\"x\"\"", "General", "A"},
        {"unmatched quotes", g + "A=\"x'", "General", "A"},
        {"lone quote", g + "A=\"", "General", "A"},
        {"quote inside", g + "A=x \"y\"", "General", "A"},
        {"empty quotes", g + "A=\"\"", "General", "A"},
        {"NUL in value", g + std::string("A=ab\0cd\r\nB=1", 12), "General", "A"},
        {"byte-order mark", "\xEF\xBB\xBF[General]\r\nA=1", "General", "A"},
        {"high bytes", g + "A=\xE9t\xE9\xFF\x80", "General", "A"},
        {"control bytes", g + "A=\x01\x02\x1b[0m", "General", "A"},
        {"long value", g + "A=" + std::string(1100, 'x'), "General", "A"},
        {"value of 1023", g + "A=" + std::string(1023, 'y'), "General", "A"},
        {"quoted long value", g + "A=\"" + std::string(1030, 'z') + "\"", "General", "A"},
        {"no final newline", g + "A=1", "General", "A"},
        {"empty file", "", "General", "A"},
    };
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    int number = 0;
    for (const Case& c : cases) {
        // A file of its own per case: the reader caches files by name.
        const std::string path = std::string(folder) + "sizeguard-differential-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(number++) + ".ini";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written;
        WriteFile(file, c.text.data(), static_cast<DWORD>(c.text.size()), &written, nullptr);
        CloseHandle(file);
        char buffer[1024];
        const DWORD n = GetPrivateProfileStringA(c.section.c_str(), c.key.c_str(), "",
                                                 buffer, sizeof buffer, path.c_str());
        DeleteFileA(path.c_str());
        const std::string windows(buffer, n);
        const std::string ours = Platform::ProfileValue(c.text, c.section, c.key);
        auto difference = ProfileDifferences.find(c.name);
        if (difference == ProfileDifferences.end())
            EXPECT_EQ(ours, windows) << c.name;
        else
            EXPECT_NE(ours, windows) << c.name << ": listed as a difference, now equal";
    }
}

const std::map<std::string, std::string> CommandLineDifferences = {};

TEST(AgainstWindows, CommandLineSplitting) {
    const std::string lines[] = {
        "Send ops \"No Changes on file C:\\logs\\a b.log\"",
        "  a\t\tb  ", "a \"\" b", "a\"b c\"d", "\"unclosed text", "C:\\dir\\x.log",
        "\"C:\\dir\\\\\"", "\\\"x", "\\\\\\\"x", "\\\\\\\\\"x y\"", "b\\", "b\\\\ c",
        "\"a\"\"b\"", "\"a\"\"b c\"", "\"\"\"a\"\"\"", "\"\"\"\"\"\" x", "\\\"\"a b\"",
        "\"a\\\"\" b\"", "\"\"\"\"\"", "a\\\\\"\"\"b c", "a\"\"\"b", "\"a\"\"\"b\"", "\"\"\"\"",
        "Send ops \"Srv \"1\" [ No Changes on file x ]\"",
        "Send ops \"File does not exist say \"hi\" now\"",
    };
    for (const std::string& line : lines) {
        const std::string full = "prog " + line;
        const std::wstring wide(full.begin(), full.end());
        int count = 0;
        LPWSTR* arguments = CommandLineToArgvW(wide.c_str(), &count);
        std::vector<std::string> windows;
        for (int i = 1; i < count; ++i) {
            const std::wstring argument = arguments[i];
            windows.emplace_back(argument.begin(), argument.end());
        }
        LocalFree(arguments);
        std::vector<std::string> ours = Platform::SplitCommandLine(full);
        ours.erase(ours.begin());
        auto difference = CommandLineDifferences.find(line);
        if (difference == CommandLineDifferences.end())
            EXPECT_EQ(ours, windows) << line;
        else
            EXPECT_NE(ours, windows) << line << ": listed as a difference, now equal";
    }
}

}  // namespace
