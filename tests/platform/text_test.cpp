// Our INI reader and command-line splitter held to tables of what Windows
// does; on Windows, Windows' own entries are held to the same tables, so
// that a table cannot drift from what it stands for. Where Wine were known
// to differ from Windows, Windows would win, with the case listed here:
// none is today.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/command_line.h"
#include "platform/profile_format.h"
#include "platform/reader_cases.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

std::vector<std::string> Split(const std::string& line) {
#ifdef _WIN32
    const std::wstring wide(line.begin(), line.end());
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(wide.c_str(), &count);
    std::vector<std::string> windows;
    for (int i = 0; i < count; ++i)
        windows.emplace_back(arguments[i], arguments[i] + wcslen(arguments[i]));
    LocalFree(arguments);
    EXPECT_EQ(Platform::SplitCommandLine(line), windows) << line;
#endif
    return Platform::SplitCommandLine(line);
}

std::string Value(const std::string& text, const std::string& key) {
#ifdef _WIN32
    // A file of its own per call: the reader caches files by name.
    static int calls = 0;
    const std::string path = std::filesystem::temp_directory_path().string() + "\\sizeguard-" +
                             std::to_string(GetCurrentProcessId()) + "-" + std::to_string(calls++) + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    char buffer[1024];
    const DWORD n = GetPrivateProfileStringA("General", key.c_str(), "", buffer, sizeof buffer, path.c_str());
    std::filesystem::remove(path);
    EXPECT_EQ(Platform::ProfileValue(text, "General", key), std::string(buffer, n)) << text;
#endif
    return Platform::ProfileValue(text, "General", key);
}

TEST(ProfileFormat, ValuesAsTheWindowsReaderGivesThem) {
    for (const Cases::Profile& c : Cases::ProfileCases()) {
        std::string crlf;  // the same with Windows line ends
        for (char ch : c.text)
            crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        EXPECT_EQ(Value(c.text, c.key), c.value) << c.name;
        EXPECT_EQ(Value(crlf, c.key), c.value) << c.name << " (CRLF)";
    }
}

TEST(CommandLine, SplitsTheWindowsWay) {
    for (const Cases::CommandLine& c : Cases::CommandLineCases()) {
        std::vector<std::string> expected = {"prog"};
        expected.insert(expected.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(Split("prog " + c.line), expected) << c.line;
    }
}

// Net.exe quotes the text it hands to msg.exe.
TEST(CommandLine, QuotedArgumentsSplitBackUnchanged) {
    const std::vector<std::string> arguments = {"prog", "plain", "", "two words", "\"", "a\\b", "a\\\"b",
                                                "ends\\", "ends with blank\\", "\\\\\"\\", "\t",
                                                "$(x) `y`; 'z'", "\"\"\"", "a\"\"b c"};
    std::string line;
    for (const std::string& argument : arguments)
        line += Platform::QuoteArgument(argument) + " ";
    EXPECT_EQ(Split(line), arguments) << line;
}

}  // namespace
