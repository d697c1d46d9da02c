#include "process.h"

#include <chrono>
#include <csignal>
#include <filesystem>
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
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (chdir(workDir.c_str()) != 0)
            _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    child.out = out[0];
    child.err = err[0];
    return child;
}

Outcome Finish(Child child, bool kill, double seconds) {
    if (kill)
        ::kill(child.pid, SIGKILL);
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    Outcome outcome;
    // Read both pipes to their end; the program's own children may hold
    // them open, so the deadline bounds the wait.
    pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open = 2;
    while (open > 0 && poll(fds, 2, MillisecondsLeft(deadline)) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (waitpid(child.pid, &status, WNOHANG) == 0) {
        if (MillisecondsLeft(deadline) == 0)
            ::kill(child.pid, SIGKILL);
        usleep(1000);
    }
    for (pollfd& p : fds)
        if (p.fd >= 0)
            close(p.fd);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
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
