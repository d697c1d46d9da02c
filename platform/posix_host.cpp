// The host operations on POSIX systems.
#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/policy.h"
#include "platform/profile_format.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <chrono>
#include <thread>
#include <vector>

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

// Absence is the one failure the logic understands: a path that cannot be
// examined for any other reason must be said, not taken for missing.
void SayUnlessAbsent(const std::string& path, int error) {
    if (error != ENOENT && error != ENOTDIR)
        SayCannotExamine(path, std::strerror(error));
}

bool Examine(const std::string& path, struct stat& st) {
    if (stat(HostPath(path).c_str(), &st) == 0)
        return true;
    SayUnlessAbsent(path, errno);
    return false;
}

// The whole file, or nothing when it is not a regular file that can be
// read; a reason other than its absence is said. Opened without blocking so
// that a FIFO in its place cannot hang start-up.
std::string ReadWholeFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SayUnlessAbsent(path, errno);
        return {};
    }
    std::string bytes;
    struct stat st;
    int error = fstat(fd, &st) == 0 ? 0 : errno;
    if (error == 0 && !S_ISREG(st.st_mode))
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    char buffer[65536];
    while (error == 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0)
            break;
        else if (errno != EINTR)
            error = errno;
    }
    close(fd);
    if (error != 0)
        SayCannotExamine(path, error == EINVAL ? "not a regular file" : std::strerror(error));
    return error == 0 ? bytes : std::string();
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
    int error = posix_spawnattr_init(&attributes);
    if (error != 0)
        return error;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    error = posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (error == 0)
        error = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    if (error == 0)
        error = posix_spawnp(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
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
    return Examine(path, st);
}

std::string ReadWholeProfileString(const std::string& section,
                                   const std::string& key,
                                   const std::string& file) {
    return ProfileValue(ReadWholeFile(HostPath(file)), section, key, std::string::npos);
}

std::string ReadProfileString(const std::string& section,
                              const std::string& key,
                              const std::string& file) {
    return ReadWholeProfileString(section, key, file).substr(0, ProfileValueLimit);
}

std::int64_t FileLength(const std::string& path) {
    struct stat st;
    if (!Examine(path, st))
        return -1;
    // A directory's size is its own business: it holds no data, as on Windows.
    return S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
}

void PauseOneSecond() {
    std::this_thread::sleep_for(std::chrono::seconds(1));
}

void DispatchEvents() {
    CollectMessengers();
}

void ShowMessage(const std::string& prompt, int /*style*/,
                 const std::string& title) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), prompt.c_str());
}

void EndProgram() {
    std::exit(1);
}

namespace Host {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Pause(std::int64_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void WriteReport(Severity, const std::string& line) {
    std::fprintf(stderr, "sizeguard: %s\n", line.c_str());
}

Start StartProcess(const std::string& commandLine, int /*style*/) {
    std::vector<std::string> arguments = SplitCommandLine(commandLine);
    if (arguments.empty())
        return {false, 0, false, "an empty command"};
    const std::string program = ProgramPath(HostPath(arguments[0]));
    pid_t pid = 0;
    const int error = Spawn(pid, program, arguments);
    // Short of processes or memory, or the file is being written (replaced
    // in place): all pass.
    const bool passing = error == EAGAIN || error == ENOMEM || error == ETXTBSY;
    return {error == 0, pid, passing, program + ": " + std::strerror(error)};
}

bool Ended(Process process, std::string& failure) {
    int status = 0;
    const pid_t pid = waitpid(static_cast<pid_t>(process), &status, WNOHANG);
    if (pid == 0)
        return false;
    if (pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0)
        failure = "ended with status " + std::to_string(WEXITSTATUS(status));
    else if (pid > 0 && WIFSIGNALED(status))
        failure = "ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                  strsignal(WTERMSIG(status)) + ")";
    return true;
}

// Children cannot be waited for with a time limit: look again shortly.
void WaitForAnyEnd(const std::vector<Process>&, std::int64_t ms) {
    Pause(std::min<std::int64_t>(ms, 100));
}

}  // namespace Host

}  // namespace Platform
