// One watch pass over N real files through the real POSIX host, beside the
// floor (one stat per file) and the shell loop a person would write.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "settings/settings.h"
#include "watch/watch.h"

extern char** environ;

namespace fs = std::filesystem;
using Mod_Main::Settings;

namespace {

// A folder of n one-byte files, made once per n.
const std::vector<std::string>& Files(std::int64_t n) {
    static std::map<std::int64_t, std::vector<std::string>> made;
    auto& files = made[n];
    if (files.empty()) {
        const fs::path dir = fs::temp_directory_path() / ("sizeguard-bench-" + std::to_string(n));
        fs::create_directories(dir);
        for (std::int64_t i = 0; i < n; ++i) {
            files.push_back((dir / ("f" + std::to_string(i))).string());
            std::ofstream(files.back()) << 'x';
        }
    }
    return files;
}

void Watch(const std::vector<std::string>& files) {
    std::string targets;
    for (const std::string& f : files)
        targets += f + "*";
    Mod_Main::SetTargets(targets);
    Mod_Main::SetRecipients("ops;");
}

void PerFile(benchmark::State& state) {
    state.counters["per_file"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Every file has grown since the last pass: no notice.
void PassQuiet(benchmark::State& state) {
    Watch(Files(state.range(0)));
    for (auto _ : state) {
        std::fill(Settings.LastSizes.begin(), Settings.LastSizes.end(), 0);
        Mod_Main::WatchPass();
    }
    PerFile(state);
}

// Every file is unchanged: one notice, one started messenger, per file.
void PassAllNotices(benchmark::State& state) {
    Watch(Files(state.range(0)));
    Mod_Main::WatchPass();
    for (auto _ : state)
        Mod_Main::WatchPass();
    PerFile(state);
}

void FloorOneStat(benchmark::State& state) {
    const auto& files = Files(state.range(0));
    for (auto _ : state)
        for (const std::string& f : files) {
            struct stat st;
            benchmark::DoNotOptimize(stat(f.c_str(), &st));
        }
    PerFile(state);
}

void ShellLoop(benchmark::State& state) {
    const std::string dir = fs::path(Files(state.range(0)).front()).parent_path().string();
    std::string script = "for f in " + dir + "/f*; do stat -c %s \"$f\"; done > /dev/null";
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), script.data(), nullptr};
    // The watch passes above leave finished children to the kernel; this
    // one must be waited for.
    const auto previous = std::signal(SIGCHLD, SIG_DFL);
    for (auto _ : state) {
        pid_t pid;
        posix_spawnp(&pid, "sh", nullptr, nullptr, argv, environ);
        waitpid(pid, nullptr, 0);
    }
    std::signal(SIGCHLD, previous);
    PerFile(state);
}

}  // namespace

BENCHMARK(PassQuiet)->Arg(1)->Arg(100)->Arg(10000)->UseRealTime();
BENCHMARK(PassAllNotices)->Arg(1)->Arg(100)->Arg(10000)->UseRealTime();
BENCHMARK(FloorOneStat)->Arg(1)->Arg(100)->Arg(10000)->UseRealTime();
BENCHMARK(ShellLoop)->Arg(1)->Arg(100)->Arg(10000)->UseRealTime();
BENCHMARK_MAIN();
