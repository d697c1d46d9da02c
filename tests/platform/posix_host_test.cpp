#include "platform/platform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "process.h"

namespace fs = std::filesystem;

namespace {

TEST(PosixHost, ExistenceAndLengthOnTheFileSystem) {
    const std::string dir = Sandbox::TempDir();
    Sandbox::WriteFile(dir + "/three", "abc");
    Sandbox::WriteFile(dir + "/empty", "");
    fs::create_directory(dir + "/sub");
    Sandbox::WriteFile(dir + "/sub/x", "12345");
    // A sparse file beyond 4 GiB: a 32-bit length would call it empty.
    Sandbox::WriteFile(dir + "/huge", "");
    fs::resize_file(dir + "/huge", 4294967296 + 7);
    struct Case { std::string path; bool exists; std::int64_t length; };
    const Case cases[] = {
        {dir + "/three", true, 3},
        {dir + "/empty", true, 0},
        {dir + "/huge", true, 4294967296 + 7},
        {dir + "\\sub\\x", true, 5},  // backslashes separate, as on Windows
        {dir + "/sub", true, -2},     // a directory exists; its length is the host's
        {dir + "/none", false, -1},
        {"", false, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Platform::FileExists(c.path), c.exists) << c.path;
        if (c.length != -2) {
            EXPECT_EQ(Platform::FileLength(c.path), c.length) << c.path;
        }
    }
    Sandbox::Cleanup(dir);
}

TEST(PosixHost, SettingsFilesThatCannotBeReadGiveNothing) {
    const std::string dir = Sandbox::TempDir();
    const std::string text = "[General]\nTargetFile=a.log*\n";
    Sandbox::WriteFile(dir + "/ok.ini", text);
    fs::create_directory(dir + "/dir.ini");
    mkfifo((dir + "/fifo.ini").c_str(), 0600);  // must not hang the reader
    struct Case { std::string file; std::string value; };
    const Case cases[] = {
        {dir + "/ok.ini", "a.log*"},
        {dir + "\\ok.ini", "a.log*"},
        {dir + "/none.ini", ""},
        {dir + "/dir.ini", ""},
        {dir + "/fifo.ini", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Platform::ReadProfileString("General", "TargetFile", c.file), c.value) << c.file;
    Sandbox::Cleanup(dir);
}

TEST(PosixHost, CommandsGetTheirArgumentsSplitTheWindowsWay) {
    const std::string dir = Sandbox::TempDir();
    const int fifo = Sandbox::OpenFifo(dir + "/calls");
    Sandbox::WriteRecorder(dir + "/Net", dir + "/calls");
    struct Case { std::string line; std::string recorded; };
    const Case cases[] = {
        {dir + "/Net Send ops \"No Changes on file a b.log\"",
         "[Send][ops][No Changes on file a b.log]"},
        {dir + "\\Net Send ops \"x\\\"y $(touch z) `id`;\"", "[Send][ops][x\"y $(touch z) `id`;]"},
        {dir + "/Net Send ops \"a\"q b\"", "[Send][ops][aq][b]"},
        {dir + "/Net Send ops \"line\nfeed \xff\xfe\"", "[Send][ops][line\nfeed \xff\xfe]"},
        {dir + "/Net Send ops \"" + std::string(4000, 'p') + "\"",
         "[Send][ops][" + std::string(4000, 'p') + "]"},
    };
    for (const Case& c : cases) {
        Platform::RunCommand(c.line, 2);
        std::string line;
        ASSERT_TRUE(Sandbox::ReadRecord(fifo, line)) << c.line;
        EXPECT_EQ(line, c.recorded);
    }
    EXPECT_FALSE(fs::exists(dir + "/z"));
    Sandbox::Cleanup(dir, fifo);
}

TEST(PosixHost, ProgramsBesideTheExecutableComeBeforeThePath) {
    const std::string dir = Sandbox::TempDir();
    const int fifo = Sandbox::OpenFifo(dir + "/calls");
    const std::string name = "sizeguard-probe-" + std::to_string(getpid());
    Sandbox::WriteRecorder(Platform::ApplicationDirectory() + "/" + name, dir + "/calls");
    Sandbox::WriteFile(dir + "/" + name, "#!/bin/sh\nprintf 'wrong\\0' > '" + dir + "/calls'\n", 0755);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (dir + ":" + path).c_str(), 1);
    Platform::RunCommand(name + " beside", 2);
    std::string line;
    EXPECT_TRUE(Sandbox::ReadRecord(fifo, line));
    EXPECT_EQ(line, "[beside]");

    fs::remove(Platform::ApplicationDirectory() + "/" + name);
    Platform::RunCommand(name + " path", 2);
    EXPECT_TRUE(Sandbox::ReadRecord(fifo, line));
    EXPECT_EQ(line, "wrong");
    setenv("PATH", path.c_str(), 1);
    Sandbox::Cleanup(dir, fifo);
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

TEST(PosixHost, FinishedCommandsAreReapedAtTheNextEventDispatch) {
    for (int i = 0; i < 100; ++i)
        Platform::RunCommand("true", 2);
    // Wait until every child has finished, then let the host collect them.
    std::string states = Sandbox::ChildStates(getpid());
    for (int tries = 0; tries < 1000 && states.find_first_not_of('Z') != std::string::npos; ++tries) {
        usleep(10000);
        states = Sandbox::ChildStates(getpid());
    }
    Platform::DispatchEvents();
    EXPECT_EQ(Sandbox::ChildStates(getpid()), "");
}

}  // namespace
