#include "process.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Sandbox {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

std::string TempDir() {
    std::string path = "/tmp/sizeguard-test-XXXXXX";
    if (!mkdtemp(path.data()))
        throw std::runtime_error("mkdtemp failed");
    return path;
}

void WriteFile(const std::string& path, const std::string& bytes, int mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write " + path);
    close(fd);
    chmod(path.c_str(), static_cast<mode_t>(mode));
}

Child Start(const std::vector<std::string>& argv, const std::string& workDir) {
    Child child;
    child.out = TempDir() + "/out";
    child.err = child.out.substr(0, child.out.size() - 3) + "err";
    child.pid = fork();
    if (child.pid == 0) {
        if (!freopen(child.out.c_str(), "w", stdout) || !freopen(child.err.c_str(), "w", stderr) ||
            chdir(workDir.c_str()) != 0)
            _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return child;
}

Outcome Finish(Child child, bool kill, double seconds) {
    if (kill)
        ::kill(child.pid, SIGKILL);
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    int status = 0;
    while (waitpid(child.pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline)
            ::kill(child.pid, SIGKILL);
        usleep(1000);
    }
    Outcome outcome;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream out(child.out), err(child.err);
    outcome.out.assign(std::istreambuf_iterator<char>(out), {});
    outcome.err.assign(std::istreambuf_iterator<char>(err), {});
    std::filesystem::remove_all(std::filesystem::path(child.out).parent_path());
    return outcome;
}

void Cleanup(const std::string& dir, int fifo) {
    if (fifo >= 0)
        close(fifo);
    std::error_code error;
    for (int tries = 0; tries < 100 && std::filesystem::exists(dir); ++tries) {
        std::filesystem::remove_all(dir, error);
        usleep(10000);
    }
}

std::string ChildStates(pid_t parent) {
    std::string states;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        char state;
        int ppid;
        if (std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &ppid) == 2 &&
            ppid == parent)
            states += state;
    }
    return states;
}

int OpenFifo(const std::string& path) {
    if (mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("mkfifo failed: " + path);
    // Read and write: opening does not wait for a writer, and the last
    // writer closing does not end the stream.
    return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

bool ReadRecord(int fd, std::string& line, double seconds) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    line.clear();
    for (;;) {
        char c;
        const ssize_t n = read(fd, &c, 1);
        if (n == 1) {
            if (c == '\0')
                return true;
            line += c;
            continue;
        }
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, MillisecondsLeft(deadline)) <= 0)
            return false;
    }
}

void WriteRecorder(const std::string& path, const std::string& fifo) {
    // One write per call, so that concurrent calls never interleave.
    WriteFile(path,
              "#!/bin/sh\n"
              "printf '%s\\0' \"$(printf '[%s]' \"$@\")\" > '" + fifo + "'\n",
              0755);
}

std::string ProgramFolder(const std::string& program) {
    const std::string dir = TempDir();
    std::filesystem::copy_file(program, dir + "/" + std::filesystem::path(program).filename().string());
    return dir;
}

}  // namespace Sandbox
