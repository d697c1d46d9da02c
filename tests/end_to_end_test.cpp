// The real program in a folder of its own, with a recording messenger:
// end to end, faults and load, each bounded in time.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Watch {
    std::string dir;
    int calls = -1;  // the FIFO the recording Net writes into
    Sandbox::Child program;
};

Watch Prepare(bool recordingNet = true) {
    Watch w;
    w.dir = Sandbox::ProgramFolder(SIZEGUARD_PROGRAM);
    w.calls = Sandbox::OpenFifo(w.dir + "/calls");
    if (recordingNet)
        Sandbox::WriteRecorder(w.dir + "/Net", w.dir + "/calls");
    else  // a messenger that exits at once
        fs::copy_file("/bin/true", w.dir + "/Net");
    return w;
}

bool Running(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }

// "Name:   value kB" from /proc/PID/status.
long StatusField(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(name + ":", 0) == 0)
            return std::stol(line.substr(name.size() + 1));
    return -1;
}

long OpenFiles(pid_t pid) {
    long n = 0;
    for ([[maybe_unused]] const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        ++n;
    return n;
}

TEST(Faults, LogRotationUnderFire) {
    Watch w = Prepare();
    const std::string log = w.dir + "/app.log";
    Sandbox::WriteFile(log, "");
    Sandbox::WriteFile(w.dir + "/Sizeguard.ini",
                       "[General]\nTargetFile=app.log*\nNetSendAdr=ops;\nInterval=0.1\n");
    w.program = Sandbox::Start({w.dir + "/sizeguard"}, w.dir);
    std::string record;
    ASSERT_TRUE(Sandbox::ReadRecord(w.calls, record));  // watching has begun

    std::atomic<bool> stop = false;
    std::thread rotate([&] {
        for (int i = 0; !stop; ++i) {
            fs::rename(log, log + ".1");
            Sandbox::WriteFile(log, "");
            Sandbox::WriteFile(log, std::string(static_cast<std::size_t>(i % 7), 'x'));
            truncate(log.c_str(), i % 3);
            unlink(log.c_str());
            Sandbox::WriteFile(log, "again");
        }
    });
    std::map<std::string, int> seen;
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < end && Sandbox::ReadRecord(w.calls, record, 1))
        ++seen[record];
    stop = true;
    rotate.join();

    EXPECT_TRUE(Running(w.program.pid));
    const Sandbox::Outcome outcome = Sandbox::Finish(w.program, true);
    EXPECT_EQ(outcome.err, "");
    for (const auto& [call, count] : seen)
        EXPECT_TRUE(call == "[Send][ops][File does not exist app.log]" ||
                    call == "[Send][ops][Filesize is NULL app.log]" ||
                    call == "[Send][ops][No Changes on file app.log]")
            << call << " x" << count;
    EXPECT_FALSE(seen.empty());
    Sandbox::Cleanup(w.dir, w.calls);
}

TEST(Faults, NoticeStormLeavesNoZombiesNorLeaks) {
    Watch w = Prepare(false);
    Sandbox::WriteFile(w.dir + "/same.log", "steady");
    Sandbox::WriteFile(w.dir + "/Sizeguard.ini",
                       "[General]\nTargetFile=same.log*\nNetSendAdr=a;b;c;\nInterval=0.1\n");
    w.program = Sandbox::Start({w.dir + "/sizeguard"}, w.dir);
    const pid_t pid = w.program.pid;
    std::this_thread::sleep_for(500ms);  // a load figure, not a synchronisation
    const long files = OpenFiles(pid);
    [[maybe_unused]] const long rss = StatusField(pid, "VmRSS");
    std::this_thread::sleep_for(3s);

    EXPECT_TRUE(Running(pid));
    // Finished messengers are collected at the next start: some may wait
    // for it, never more than may run at once.
    const std::string states = Sandbox::ChildStates(pid);
    EXPECT_LE(std::count(states.begin(), states.end(), 'Z'), 64) << states;
    EXPECT_EQ(OpenFiles(pid), files);
#ifndef __SANITIZE_ADDRESS__  // its allocator holds on to freed memory for a while
    EXPECT_LE(StatusField(pid, "VmRSS"), rss + 64) << "kB at the start: " << rss;
#endif
    EXPECT_EQ(Sandbox::Finish(w.program, true).err, "");
    Sandbox::Cleanup(w.dir, w.calls);
}

// Each settings file either ends the program with its line and status,
// having started nothing, or lets it watch.
TEST(EndToEnd, SettingsFilesGoodBadAndHostile) {
    const std::string valid = "[General]\nTargetFile=empty.log*\nNetSendAdr=ops;\n";
    std::string garbage(70000, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919 + 13) % 251);
    const std::string watching = "watching";
    const std::string noTarget = "Sorry: no target file given\n";
    const int none = -1;
    struct Case { const char* name; std::string settings; int mode; std::string result; };
    const Case cases[] = {
        {"no settings file", "", none, "Sorry: no ini file\n"},
        {"missing target", "[General]\nTargetFile=empty.log*gone.log*\n", 0644,
         "Target does not exist: gone.log\n"},
        {"interval overflow", valid + "Interval=1e9\n", 0644,
         "sizeguard: overflow: Interval \"1e9\"\n"},
        {"10 MB", valid + std::string(10 << 20, '#') + "\n", 0644, watching},
        {"1 MB value", "[General]\nTargetFile=" + std::string(1 << 20, 'v') + "\n", 0644,
         "Target does not exist: " + std::string(1023, 'v') + "\n"},
        {"binary garbage", garbage, 0644, noTarget},
        {"garbage around", garbage + "\n" + valid + garbage, 0644, watching},
        {"unreadable", valid, 0, geteuid() == 0 ? watching : noTarget},
        {"directory", "", S_IFDIR, noTarget},
        {"FIFO", "", S_IFIFO, noTarget},
    };
    for (const Case& c : cases) {
        Watch w = Prepare();
        Sandbox::WriteFile(w.dir + "/empty.log", "");
        const std::string ini = w.dir + "/Sizeguard.ini";
        if (c.mode == S_IFDIR)
            fs::create_directory(ini);
        else if (c.mode == S_IFIFO)
            mkfifo(ini.c_str(), 0600);
        else if (c.mode != none)
            Sandbox::WriteFile(ini, c.settings, c.mode);
        w.program = Sandbox::Start({w.dir + "/sizeguard"}, w.dir);
        std::string record;
        if (c.result == watching) {
            EXPECT_TRUE(Sandbox::ReadRecord(w.calls, record)) << c.name;
            EXPECT_EQ(record, "[Send][ops][Filesize is NULL empty.log]") << c.name;
            EXPECT_EQ(Sandbox::Finish(w.program, true).err, "") << c.name;
        } else {
            const Sandbox::Outcome outcome = Sandbox::Finish(w.program);
            EXPECT_EQ(outcome.status, c.result.rfind("sizeguard:", 0) == 0 ? 2 : 1) << c.name;
            EXPECT_EQ(outcome.err, c.result) << c.name;
            EXPECT_FALSE(Sandbox::ReadRecord(w.calls, record, 0)) << "started: " << record;
        }
        Sandbox::Cleanup(w.dir, w.calls);
    }
}

TEST(EndToEnd, WatchesAndSendsEachKindOfNotice) {
    Watch w = Prepare();
    Sandbox::WriteFile(w.dir + "/same.log", "steady");
    Sandbox::WriteFile(w.dir + "/empty.log", "");
    Sandbox::WriteFile(w.dir + "/Sizeguard.ini",
                       "\xEF\xBB\xBF[General]\r\nTargetFile = same.log*empty.log*\r\n"
                       "NetSendAdr=ops;dev;\r\nInterval=2\r\n");
    w.program = Sandbox::Start({w.dir + "/sizeguard"}, w.dir);

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
        std::string record;
        while (calls.size() < pass.size() && Sandbox::ReadRecord(w.calls, record))
            calls.insert(record);
        EXPECT_EQ(calls, pass);
        fs::remove(w.dir + "/empty.log");
    }
    const Sandbox::Outcome outcome = Sandbox::Finish(w.program, true);
    EXPECT_EQ(outcome.status, 128 + SIGKILL);  // still watching when stopped
    EXPECT_EQ(outcome.err, "");
    Sandbox::Cleanup(w.dir, w.calls);
}

TEST(Faults, HostilePathsArriveAsTextAndRunNothing) {
    const std::string paths[] = {
        "a b.log", "$(touch made).log", "`touch made`.log", "x;touch made.log",
        "it's.log", "\xff\xfe non-UTF-8.log", "tab\there.log", "%s %n.log",
    };
    Watch w = Prepare();
    std::string targets;
    std::multiset<std::string> expected;
    for (const std::string& path : paths) {
        Sandbox::WriteFile(w.dir + "/" + path, "");
        targets += path + "*";
        expected.insert("[Send][ops][Filesize is NULL " + path + "]");
    }
    // A quote in a path takes part in the command line's quoting.
    Sandbox::WriteFile(w.dir + "/say \"hi\".log", "");
    targets += "say \"hi\".log*";
    expected.insert("[Send][ops][Filesize is NULL say hi.log]");
    Sandbox::WriteFile(w.dir + "/Sizeguard.ini",
                       "[General]\nTargetFile=" + targets + "\nNetSendAdr=ops;\n");
    w.program = Sandbox::Start({w.dir + "/sizeguard"}, w.dir);
    std::multiset<std::string> seen;
    std::string record;
    while (seen.size() < expected.size() && Sandbox::ReadRecord(w.calls, record))
        seen.insert(record);
    EXPECT_EQ(Sandbox::Finish(w.program, true).err, "");
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(fs::exists(w.dir + "/made"));
    Sandbox::Cleanup(w.dir, w.calls);
}

}  // namespace
