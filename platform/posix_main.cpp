// The process entry on POSIX systems: a fatal run-time error that escapes
// the program is reported on one line and ends it with status 2.
#include "startup/main.h"

#include <cstdio>
#include <exception>

int main() {
    try {
        Mod_Main::Main();
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "sizeguard: %s\n", error.what());
        return 2;
    }
}
