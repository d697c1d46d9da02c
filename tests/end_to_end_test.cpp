// The real program in a folder of its own, with a recording messenger.
#include <filesystem>
#include <set>

#include <gtest/gtest.h>
#include <unistd.h>

#include "process.h"

namespace fs = std::filesystem;

namespace {

TEST(EndToEnd, ConfigurationErrorsEndWithTheirLine) {
    struct Case { std::string settings; std::string err; };
    const Case cases[] = {
        {"", "Sorry: no ini file\n"},
        {"[General]\nTargetFile=here.log*gone.log*\n", "Target does not exist: gone.log\n"},
        {"[General]\nTargetFile=here.log\nNetSendAdr=ops;\nInterval=1e9\n",
         "sizeguard: overflow: Interval \"1e9\"\n"},
    };
    for (const Case& c : cases) {
        const std::string dir = Sandbox::ProgramFolder(SIZEGUARD_PROGRAM);
        const int fifo = Sandbox::OpenFifo(dir + "/calls");
        Sandbox::WriteRecorder(dir + "/Net", dir + "/calls");
        Sandbox::WriteFile(dir + "/here.log", "x");
        if (!c.settings.empty())
            Sandbox::WriteFile(dir + "/Sizeguard.ini", c.settings);
        const Sandbox::Outcome outcome = Sandbox::Run({dir + "/sizeguard"}, dir);
        EXPECT_EQ(outcome.err, c.err);
        EXPECT_EQ(outcome.status, c.err.rfind("sizeguard:", 0) == 0 ? 2 : 1);
        std::string line;
        EXPECT_FALSE(Sandbox::ReadRecord(fifo, line, 0)) << "started: " << line;
        Sandbox::Cleanup(dir, fifo);
    }
}

TEST(EndToEnd, WatchesAndSendsEachKindOfNotice) {
    const std::string dir = Sandbox::ProgramFolder(SIZEGUARD_PROGRAM);
    const int fifo = Sandbox::OpenFifo(dir + "/calls");
    Sandbox::WriteRecorder(dir + "/Net", dir + "/calls");
    Sandbox::WriteFile(dir + "/same.log", "steady");
    Sandbox::WriteFile(dir + "/empty.log", "");
    Sandbox::WriteFile(dir + "/Sizeguard.ini",
                    "\xEF\xBB\xBF[General]\r\nTargetFile = same.log*empty.log*\r\n"
                    "NetSendAdr=ops;dev;\r\nInterval=2\r\n");
    Sandbox::Child program = Sandbox::Start({dir + "/sizeguard"}, dir);

    // The messengers run side by side, so calls of one pass may arrive in
    // any order. First pass: only the empty file speaks. Removing it makes
    // the second pass report it missing, beside same.log's no-change notice.
    const std::multiset<std::string> passes[] = {
        {"[Send][ops][Filesize is NULL empty.log]",
         "[Send][dev][Filesize is NULL empty.log]"},
        {"[Send][ops][No Changes on file same.log]",
         "[Send][dev][No Changes on file same.log]",
         "[Send][ops][File does not exist empty.log]",
         "[Send][dev][File does not exist empty.log]"},
    };
    for (const auto& pass : passes) {
        std::multiset<std::string> calls;
        std::string line;
        while (calls.size() < pass.size() && Sandbox::ReadRecord(fifo, line))
            calls.insert(line);
        EXPECT_EQ(calls, pass);
        fs::remove(dir + "/empty.log");
    }
    const Sandbox::Outcome outcome = Sandbox::Finish(program, true);
    EXPECT_EQ(outcome.status, 128 + SIGKILL);  // still watching when stopped
    EXPECT_EQ(outcome.err, "");
    Sandbox::Cleanup(dir, fifo);
}

}  // namespace
