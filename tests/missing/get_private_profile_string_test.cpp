// Our INI reader held to a table of what Windows' own gives; on Windows,
// Windows' own entry is held to the same table, so that the table cannot
// drift from what it stands for. Where Wine were known to differ from
// Windows, Windows would win, with the case listed here: none is today.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "missing/cases.h"
#include "missing/get_private_profile_string.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

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

}  // namespace
