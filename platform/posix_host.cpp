// The host operations on POSIX systems.
#include "missing/command_line_to_argv.h"
#include "missing/get_private_profile_string.h"
#include "platform/host.h"
#include "platform/messengers.h"
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>
#include <chrono>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <semaphore.h>
#include <spawn.h>
#include <time.h>
#include <sys/mman.h>
#include <sys/prctl.h>
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
bool Absence(int error) {
    return error == ENOENT || error == ENOTDIR;
}

void SayUnlessAbsent(const std::string& path, int error) {
    if (!Absence(error))
        SayCannotExamine(path, std::strerror(error));
}

// A helper process, forked when a pass first needs it, that looks at one
// path at a time in memory shared with the watchdog. A process and not a
// thread: a static program's threads cost more memory than the watchdog
// itself, and a look that never returns holds a process that made it, not
// the watchdog, which can still end.
struct Looker {
    sem_t asked, answered;
    pid_t pid;
    bool quit;
    bool inPlace;  // no helper could be had: it looks in place
    int error;
    struct stat st;
    char path[3072];  // longer than any watched path the settings hold
};

void Look(Looker& looker) {
    looker.error = stat(looker.path, &looker.st) == 0 ? 0 : errno;
    sem_post(&looker.answered);
}

[[noreturn]] void Looking(Looker& looker, pid_t watchdog) {
    // It ends with the watchdog, once its look returns.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != watchdog)
        _exit(0);
    // The watchdog's files are none of its business: a reader of its standard
    // error must not wait for a helper stuck on a dead share.
    close_range(0, ~0U, 0);
    for (;;) {
        while (sem_wait(&looker.asked) != 0) {
        }
        if (looker.quit)
            _exit(0);
        Look(looker);
    }
}

Looker* NewLooker() {
    void* shared = mmap(nullptr, sizeof(Looker), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED)
        throw std::runtime_error(std::string("cannot examine files: ") + std::strerror(errno));
    auto* looker = new (shared) Looker{};
    sem_init(&looker->asked, 1, 0);
    sem_init(&looker->answered, 1, 0);
    const pid_t watchdog = getpid();
    looker->pid = fork();
    if (looker->pid == 0)
        Looking(*looker, watchdog);
    looker->inPlace = looker->pid < 0;
    return looker;
}

void EndLooker(Looker* looker) {
    looker->quit = true;
    if (!looker->inPlace) {
        sem_post(&looker->asked);
        waitpid(looker->pid, nullptr, 0);  // it has answered: it ends at once
    }
    sem_destroy(&looker->asked);
    sem_destroy(&looker->answered);
    munmap(looker, sizeof(Looker));
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
int Spawn(pid_t& pid, const std::string& program, std::vector<std::string> arguments,
          const posix_spawn_file_actions_t* actions) {
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
        error = posix_spawnp(&pid, program.c_str(), actions, &attributes, argv.data(), environ);
    if (error == ENOEXEC) {
        std::string shell = "/bin/sh";
        argv[0] = const_cast<char*>(program.c_str());
        argv.insert(argv.begin(), shell.data());
        error = posix_spawn(&pid, shell.c_str(), actions, &attributes, argv.data(), environ);
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

// POSIX has no events for a process to dispatch: the pause is where ended
// messengers are collected.
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
        return {false, 0, -1, false, "an empty command"};
    const std::string program = ProgramPath(HostPath(arguments[0]));
    pid_t pid = 0;
    // Its standard error comes to the watchdog, which reads it without
    // waiting; the messenger writes as on any pipe.
    int errors[2];
    int error = pipe2(errors, O_CLOEXEC) == 0 ? 0 : errno;
    if (error == 0) {
        fcntl(errors[0], F_SETFL, O_NONBLOCK);
        posix_spawn_file_actions_t actions;
        error = posix_spawn_file_actions_init(&actions);
        if (error == 0)
            error = posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
        if (error == 0)
            error = Spawn(pid, program, arguments, &actions);
        posix_spawn_file_actions_destroy(&actions);
        close(errors[1]);
        if (error != 0)
            close(errors[0]);
    }
    // Short of processes, files or memory, or the file is being written
    // (replaced in place): all pass.
    const bool passing = error == EAGAIN || error == ENOMEM || error == ETXTBSY ||
                         error == EMFILE || error == ENFILE;
    return {error == 0, pid, errors[0], passing, program + ": " + std::strerror(error)};
}

std::size_t ReadErrors(std::intptr_t errors, char* buffer, std::size_t size) {
    const ssize_t n = read(static_cast<int>(errors), buffer, size);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void CloseErrors(std::intptr_t errors) {
    close(static_cast<int>(errors));
}

void SetEnvironment(const std::string& name, const std::string& value) {
    setenv(name.c_str(), value.c_str(), 1);
}

Examiner StartExamining(Examiner examiner, const std::string& path) {
    Looker* looker = examiner != 0 ? reinterpret_cast<Looker*>(examiner) : NewLooker();
    const std::string hostPath = HostPath(path);
    const bool fits = hostPath.size() < sizeof looker->path;
    std::memcpy(looker->path, hostPath.c_str(), fits ? hostPath.size() + 1 : 0);
    if (!fits) {
        looker->error = ENAMETOOLONG;
        sem_post(&looker->answered);
    } else if (looker->inPlace) {
        Look(*looker);
    } else {
        sem_post(&looker->asked);
    }
    return reinterpret_cast<Examiner>(looker);
}

bool Answered(Examiner examiner, std::int64_t ms, Found& found) {
    Looker& looker = *reinterpret_cast<Looker*>(examiner);
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000 * 1000000);
    if (deadline.tv_nsec >= 1000000000) {
        ++deadline.tv_sec;
        deadline.tv_nsec -= 1000000000;
    }
    while (sem_clockwait(&looker.answered, CLOCK_MONOTONIC, &deadline) != 0)
        if (errno != EINTR)
            return false;
    found.exists = looker.error == 0;
    // A directory's size is its own business: it holds no data, as on Windows.
    if (found.exists)
        found.length = S_ISDIR(looker.st.st_mode) ? 0 : static_cast<std::int64_t>(looker.st.st_size);
    else if (!Absence(looker.error))
        found.reason = std::strerror(looker.error);
    return true;
}

void EndExaminer(Examiner examiner) {
    EndLooker(reinterpret_cast<Looker*>(examiner));
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
