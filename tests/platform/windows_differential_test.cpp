// Windows' own INI reader and command-line splitter, under Wine, held to
// the tables our readers are pinned to. Where Wine is known to differ from
// Windows, Windows wins: such a case would be listed here with its reason.
// None is listed today.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "platform/reader_cases.h"

namespace {

std::string WindowsProfileValue(const std::string& text, const std::string& key) {
    // A file of its own per call: the reader caches files by name.
    static int calls = 0;
    const std::string path = std::filesystem::temp_directory_path().string() + "\\sizeguard-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(calls++) + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    char buffer[1024];
    const DWORD n = GetPrivateProfileStringA("General", key.c_str(), "", buffer,
                                             sizeof buffer, path.c_str());
    std::filesystem::remove(path);
    return std::string(buffer, n);
}

TEST(Windows, ProfileReader) {
    for (const Cases::Profile& c : Cases::ProfileCases()) {
        EXPECT_EQ(WindowsProfileValue(c.text, c.key), c.value) << c.name;
        std::string crlf;  // the same with Windows line ends
        for (char ch : c.text)
            crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        EXPECT_EQ(WindowsProfileValue(crlf, c.key), c.value) << c.name << " (CRLF)";
    }
}

TEST(Windows, CommandLineSplitting) {
    for (const Cases::CommandLine& c : Cases::CommandLineCases()) {
        const std::string line = "prog " + c.line;
        const std::wstring wide(line.begin(), line.end());
        int count = 0;
        LPWSTR* arguments = CommandLineToArgvW(wide.c_str(), &count);
        std::vector<std::string> windows;
        for (int i = 1; i < count; ++i) {
            const std::wstring argument = arguments[i];
            windows.emplace_back(argument.begin(), argument.end());
        }
        LocalFree(arguments);
        EXPECT_EQ(windows, c.arguments) << c.line;
    }
}

}  // namespace
