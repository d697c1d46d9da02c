// The process entry on POSIX systems: a fatal run-time error that escapes
// the program is reported on one line and ends it with status 2.
#include "platform/platform.h"
#include "platform/reports.h"
#include "startup/main.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <sys/file.h>

// What escapes as no std::exception ends here. The library's own handler
// names the exception's type, which pulls in its demangler: 48 KB, most of
// what this program would otherwise need beyond the floor of any program.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::fputs("sizeguard: fatal error: terminated\n", stderr);
    std::_Exit(2);
}
}  // namespace __gnu_cxx

namespace {

// A second watchdog started by hand beside the service would send every
// notice twice. The lock on the folder lasts as long as the process; no
// messenger inherits it, so none can outlive it holding it.
void StayAlone() {
    const std::string folder = Platform::ApplicationDirectory();
    const std::string ini = folder + "/Sizeguard.ini";
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
        return;
    if (fd < 0 || errno != EWOULDBLOCK)
        return Platform::Warn("cannot make sure that no other sizeguard watches for " + ini +
                              ": " + std::strerror(errno));
    Platform::Say(Platform::Severity::Error,
                  "another sizeguard is already watching for " + ini + "; this one ends");
    Platform::EndProgram();
}

}  // namespace

int main() {
    // A reader of standard error that has gone away must not end the
    // watching: the report is lost, the next alarm is not.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        StayAlone();
        Mod_Main::Main();
    } catch (const std::exception& error) {
        std::fflush(stdout);
        Platform::Say(Platform::Severity::Error, error.what());
        return 2;
    }
}
