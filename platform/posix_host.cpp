// The host operations on POSIX systems.
#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/profile_format.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Platform {

namespace {

std::string ProgramFolder() {
    static const std::string folder = ApplicationDirectory();
    return folder;
}

// Paths in the settings may be written the Windows way; the file system
// sees forward slashes, while messages and notices keep the path as given.
// The program's own folder is a name of this host, used as it stands even
// when it holds a backslash: only what follows it is turned.
std::string HostPath(std::string path) {
    const std::string folder = ProgramFolder() + "\\";
    const std::size_t from = path.compare(0, folder.size(), folder) == 0 ? folder.size() - 1 : 0;
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(from), path.end(), '\\', '/');
    return path;
}

// The whole file, or nothing when it is not a regular file that can be read.
// Opened without blocking so that a FIFO in its place cannot hang start-up.
bool ReadWholeFile(const std::string& path, std::string& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buffer[65536];
    while (ok) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return ok;
}

// The program named by a command's first argument: without a slash it is
// looked for beside the executable first, as the Windows host does, then
// along PATH as execvp does. One that lies beside the executable is the one
// meant, even when it cannot be run: that must be said, not passed over.
std::string ProgramPath(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return name;
    const std::string beside = ProgramFolder() + "/" + name;
    if (access(beside.c_str(), F_OK) == 0)
        return beside;
    const char* path = std::getenv("PATH");
    std::string_view directories = path ? path : "/bin:/usr/bin";
    for (;;) {
        const std::size_t end = std::min(directories.find(':'), directories.size());
        const std::string directory(directories.substr(0, end));
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == directories.size())
            return name;  // not found: the start says so
        directories.remove_prefix(end + 1);
    }
}

using Clock = std::chrono::steady_clock;

void Say(const std::string& line) {
    std::fprintf(stderr, "sizeguard: %s\n", line.c_str());
}

// A condition that may last for hours is said at most once a minute, so
// that it shows in the journal without flooding it.
bool SayNowAndThen(Clock::time_point& saidAt, const std::string& line) {
    if (saidAt != Clock::time_point() && Clock::now() - saidAt < std::chrono::minutes(1))
        return false;
    Say(line);
    saidAt = Clock::now();
    return true;
}

// Messengers started and not yet seen to finish. Each is waited for, so
// that none is left a zombie and a failed delivery does not go unnoticed.
struct Messenger {
    pid_t pid;
    std::string commandLine;
};
std::vector<Messenger> running;

// A hung messenger must slow the watching, not fill the process table.
constexpr std::size_t MostRunning = 64;

void ReapFinished() {
    for (auto it = running.begin(); it != running.end();) {
        int status = 0;
        const pid_t pid = waitpid(it->pid, &status, WNOHANG);
        if (pid == 0) {
            ++it;
            continue;
        }
        if (pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0)
            Say(it->commandLine + " ended with status " + std::to_string(WEXITSTATUS(status)));
        else if (pid > 0 && WIFSIGNALED(status))
            Say(it->commandLine + " ended by signal " + std::to_string(WTERMSIG(status)) +
                " (" + strsignal(WTERMSIG(status)) + ")");
        it = running.erase(it);
    }
}

void WaitForRoom(const std::string& commandLine) {
    static Clock::time_point saidAt;
    for (ReapFinished(); running.size() >= MostRunning; ReapFinished()) {
        SayNowAndThen(saidAt, std::to_string(running.size()) +
                                  " messengers still running; waiting to start " + commandLine);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// Starts the program as execvp would: a file the kernel does not know how
// to run is a script for the shell.
int Spawn(pid_t& pid, const std::string& program, std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // The watchdog ignores SIGPIPE so that its own reports cannot kill it;
    // its messengers get the usual default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    int error = posix_spawnp(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
    if (error == ENOEXEC) {
        std::string shell = "/bin/sh";
        argv[0] = const_cast<char*>(program.c_str());
        argv.insert(argv.begin(), shell.data());
        error = posix_spawn(&pid, shell.c_str(), nullptr, &attributes, argv.data(), environ);
    }
    posix_spawnattr_destroy(&attributes);
    return error;
}

}  // namespace

std::string ApplicationDirectory() {
    std::string exe(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size());
    exe.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return exe.substr(0, std::min(exe.rfind('/'), exe.size()));
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(HostPath(path).c_str(), &st) == 0;
}

std::string ReadProfileString(const std::string& section,
                              const std::string& key,
                              const std::string& file) {
    std::string bytes;
    if (!ReadWholeFile(HostPath(file), bytes))
        return {};
    return ProfileValue(bytes, section, key);
}

std::int64_t FileLength(const std::string& path) {
    struct stat st;
    if (stat(HostPath(path).c_str(), &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

void RunCommand(const std::string& commandLine, int /*style*/) {
    std::vector<std::string> arguments = SplitCommandLine(commandLine);
    if (arguments.empty())
        throw std::system_error(ENOENT, std::generic_category(),
                                "cannot start an empty command");
    const std::string program = ProgramPath(HostPath(arguments[0]));
    WaitForRoom(commandLine);

    // A start refused for want of processes or memory is a passing
    // shortage: the notice goes out late rather than not at all.
    static Clock::time_point shortageSaidAt;
    bool shortageSaid = false;
    auto pause = std::chrono::milliseconds(100);
    pid_t pid = 0;
    int error;
    while ((error = Spawn(pid, program, arguments)) == EAGAIN || error == ENOMEM) {
        if (!shortageSaid)
            shortageSaid = SayNowAndThen(shortageSaidAt, std::string("cannot start messengers for now (") +
                                                             std::strerror(error) +
                                                             "); trying again until they start");
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(1000));
        ReapFinished();
    }
    if (error != 0)
        throw std::system_error(error, std::generic_category(),
                                "cannot start \"" + program + "\"");
    if (shortageSaid)
        Say("messengers start again");
    running.push_back({pid, commandLine});
}

void PauseOneSecond() {
    std::this_thread::sleep_for(std::chrono::seconds(1));
}

void DispatchEvents() {
    ReapFinished();
}

void ShowMessage(const std::string& prompt, int /*style*/,
                 const std::string& title) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), prompt.c_str());
}

void EndProgram() {
    std::exit(1);
}

}  // namespace Platform
