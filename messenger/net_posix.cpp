// The messenger's POSIX side: wall and write for terminals, standard error
// for failures (the journal, under systemd).
#include "messenger/net_host.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmpx.h>

extern char** environ;

namespace NetHost {

namespace {

bool LoggedIn(const std::string& user) {
    bool found = false;
    setutxent();
    while (const utmpx* entry = getutxent())
        found = found || (entry->ut_type == USER_PROCESS &&
                          user.size() <= sizeof entry->ut_user &&
                          std::strncmp(entry->ut_user, user.c_str(), sizeof entry->ut_user) == 0);
    endutxent();
    return found;
}

}  // namespace

std::string Name() {
    utsname names;
    return uname(&names) == 0 ? names.nodename : "localhost";
}

std::string ProgramDirectory() {
    std::string exe(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", exe.data(), exe.size());
    exe.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return exe.substr(0, std::min(exe.rfind('/'), exe.size()));
}

std::string ReadSettings(const std::string& windowsPath, std::string& reason) {
    // The folder is this host's; only the file's own name is joined the
    // Windows way.
    std::string path = windowsPath;
    path[path.rfind('\\')] = '/';
    // Never blocks: a FIFO in its place is no settings file.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            reason = "cannot read " + path + ": " + std::strerror(errno);
        return {};
    }
    std::string bytes;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = "cannot read " + path + ": not a regular file";
    } else {
        char block[65536];
        ssize_t n;
        while ((n = read(fd, block, sizeof block)) > 0)
            bytes.append(block, static_cast<std::size_t>(n));
        if (n < 0)
            reason = "cannot read " + path + ": " + std::strerror(errno);
    }
    close(fd);
    return bytes;
}

std::string ErrorText(long error) {
    return std::strerror(static_cast<int>(error));
}

std::string Utf8(const std::string& text) {
    return text;  // notice.cpp reads what is not UTF-8 as Latin-1
}

std::string WriteRecord(const std::string& line) {
    // A reader that is gone is said, not a death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string text = line + "\n";
    for (std::size_t done = 0; done < text.size();) {
        // An output nobody reads is waited for within the bound, not for ever.
        pollfd output = {1, POLLOUT, 0};
        if (poll(&output, 1, static_cast<int>(RemainingMs())) == 0)
            return "cannot write on standard output within " + std::to_string(BoundSeconds) +
                   " s: nobody reads it";  // as the backstop says it
        const ssize_t n = write(1, text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return std::string("cannot write on standard output: ") + std::strerror(errno);
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return {};
}

std::string UnknownUser(const std::string& name, const std::string& host) {
    errno = 0;
    if (getpwnam(name.c_str()))
        return {};
    // Only "not found" is an answer; a failing look-up is not a verdict.
    if (errno != 0 && errno != ENOENT && errno != ESRCH && errno != EBADF && errno != EPERM)
        return {};
    return "no such user on " + host;
}

// Terminals are a courtesy, as they always were: wall for "*", write for a
// user who is logged in; that they fail is not an error.
std::string ToTerminals(const std::string& recipient, const std::string& line,
                        const std::string& /*text*/) {
    std::vector<std::string> command = {"wall"};
    if (recipient != "*") {
        if (!LoggedIn(recipient))
            return {};
        command = {"write", recipient};
    }
    std::vector<char*> argv;
    for (std::string& argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    const std::string text = line + "\n";
    if (error == 0 && write(input[1], text.data(), text.size()) < 0) {
        // the terminal program is gone already; it is waited for below
    }
    close(input[1]);
    if (error != 0)
        return {};
    // Waited for within the bound, by its pidfd; where the kernel has none,
    // the backstop bounds the wait.
    const int process = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pollfd ended = {process, POLLIN, 0};
    if (process >= 0 && poll(&ended, 1, static_cast<int>(RemainingMs())) == 0)
        kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    if (process >= 0)
        close(process);
    return {};
}

void SayFailure(const std::string& line, bool /*event*/) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace NetHost
