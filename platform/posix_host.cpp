// The host operations on POSIX systems.
#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/profile_format.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace Platform {

namespace {

// Paths in the settings may be written the Windows way; the file system
// sees forward slashes, while messages and notices keep the path as given.
std::string HostPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
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
// on PATH.
std::string ProgramPath(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return name;
    static const std::string directory = ApplicationDirectory();
    const std::string beside = directory + "/" + name;
    return access(beside.c_str(), X_OK) == 0 ? beside : name;
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
    // Children are never waited for: let the kernel reap them so that no
    // zombie is left behind, however fast notices come.
    static const bool reaping = std::signal(SIGCHLD, SIG_IGN) != SIG_ERR;
    (void)reaping;

    std::vector<std::string> arguments = SplitCommandLine(commandLine);
    if (arguments.empty())
        throw std::system_error(ENOENT, std::generic_category(),
                                "cannot start an empty command");
    arguments[0] = HostPath(arguments[0]);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The child must not inherit the ignored SIGCHLD: its own waits need it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    const int error = posix_spawnp(&pid, ProgramPath(arguments[0]).c_str(),
                                   nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        throw std::system_error(error, std::generic_category(),
                                "cannot start \"" + arguments[0] + "\"");
}

void PauseOneSecond() {
    std::this_thread::sleep_for(std::chrono::seconds(1));
}

void DispatchEvents() {
    // Nothing queues up for this process: finished children reap themselves.
}

void ShowMessage(const std::string& prompt, int /*style*/,
                 const std::string& title) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), prompt.c_str());
}

void EndProgram() {
    std::exit(1);
}

}  // namespace Platform
