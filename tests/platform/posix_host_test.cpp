// The POSIX host on the real file system, where the real program's runs
// (end_to_end.py) cannot reach: odd settings files, backslashes, the search
// for a messenger and the wording of a start that fails.
#include "platform/platform.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string TempDir() {
    std::string path = "/tmp/sizeguard-host-XXXXXX";
    return mkdtemp(path.data());
}

void WriteFile(const std::string& path, const std::string& bytes, fs::perms perms = fs::perms(0644)) {
    std::ofstream(path, std::ios::binary) << bytes;
    fs::permissions(path, perms);
}

TEST(PosixHost, ExistenceLengthAndSettingsOnTheFileSystem) {
    const std::string dir = TempDir();
    WriteFile(dir + "/three", "abc");
    fs::create_directory(dir + "/sub");
    WriteFile(dir + "/sub/x.ini", "[General]\nTargetFile=a.log*\n");
    fs::create_directory(dir + "/dir.ini");
    mkfifo((dir + "/fifo.ini").c_str(), 0600);  // must not hang the reader
    struct Case { std::string path; bool exists; std::int64_t length; std::string value; };
    const Case cases[] = {
        {dir + "/three", true, 3, ""},
        {dir + "\\sub\\x.ini", true, 28, "a.log*"},  // backslashes separate, as on Windows
        {dir + "/dir.ini", true, -2, ""},            // a directory's length is the host's
        {dir + "/fifo.ini", true, 0, ""},
        {dir + "/none", false, -1, ""},
        {"", false, -1, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Platform::FileExists(c.path), c.exists) << c.path;
        if (c.length != -2) {
            EXPECT_EQ(Platform::FileLength(c.path), c.length) << c.path;
        }
        EXPECT_EQ(Platform::ReadProfileString("General", "TargetFile", c.path), c.value) << c.path;
    }
    fs::remove_all(dir);
}

TEST(PosixHost, MessengersBesideTheProgramComeBeforeThePath) {
    const std::string dir = TempDir();
    const std::string name = "sizeguard-probe-" + std::to_string(getpid());
    const std::string beside = Platform::ApplicationDirectory() + "/" + name;
    WriteFile(beside, "#!/bin/sh\ntouch '" + dir + "/beside'\n", fs::perms(0755));
    WriteFile(dir + "/" + name, "#!/bin/sh\ntouch '" + dir + "/path'\n", fs::perms(0755));
    const std::string path = std::getenv("PATH");
    setenv("PATH", (dir + ":" + path).c_str(), 1);
    for (const char* found : {"beside", "path"}) {
        Platform::RunCommand(name, 2);
        for (int tries = 0; tries < 1000 && !fs::exists(dir + "/" + found); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(fs::exists(dir + "/" + found));
        fs::remove(beside);
    }
    setenv("PATH", path.c_str(), 1);
    fs::remove_all(dir);
}

TEST(PosixHost, AProgramThatCannotBeStartedIsFatal) {
    try {
        Platform::RunCommand("no-such-messenger Send ops \"x\"", 2);
        ADD_FAILURE() << "started";
    } catch (const std::system_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "cannot start \"no-such-messenger\": No such file or directory");
    }
}

}  // namespace
