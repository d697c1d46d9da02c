// The process entry on POSIX systems: a fatal run-time error that escapes
// the program is reported on one line and ends it with status 2.
#include "platform/reports.h"
#include "startup/main.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

// What escapes as no std::exception ends here. The library's own handler
// names the exception's type, which pulls in its demangler: 48 KB, most of
// what this program would otherwise need beyond the floor of any program.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::fputs("sizeguard: fatal error: terminated\n", stderr);
    std::_Exit(2);
}
}  // namespace __gnu_cxx

int main() {
    // A reader of standard error that has gone away must not end the
    // watching: the report is lost, the next alarm is not.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        Mod_Main::Main();
    } catch (const std::exception& error) {
        std::fflush(stdout);
        Platform::Say(Platform::Severity::Error, error.what());
        return 2;
    }
}
