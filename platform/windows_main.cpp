// The process entry on Windows: no console and no window of its own. A
// fatal run-time error that escapes the program is reported and shown,
// then ends it with status 2.
#include "platform/reports.h"
#include "startup/main.h"

#include <exception>

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        Mod_Main::Main();
    } catch (const std::exception& error) {
        Platform::Say(Platform::Severity::Error, error.what());
        MessageBoxA(nullptr, error.what(), "sizeguard", MB_OK | MB_ICONERROR);
        return 2;
    }
}
