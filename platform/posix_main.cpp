// The process entry on POSIX systems: a fatal run-time error that escapes
// the program is reported on one line and ends it with status 2.
#include "platform/policy.h"
#include "startup/main.h"

#include <csignal>
#include <cstdio>
#include <exception>

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
