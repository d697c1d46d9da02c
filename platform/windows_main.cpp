// The process entry on Windows: no console and no window of its own. A
// fatal run-time error that escapes the program is reported and shown where
// a person can see it, then ends it with status 2.
#include "platform/platform.h"
#include "platform/reports.h"
#include "platform/windows_desktop.h"
#include "settings/settings.h"
#include "startup/main.h"

#include <cstdint>
#include <cstdio>
#include <exception>

#include <windows.h>

namespace {

void Tell(const std::string& line, UINT icon) {
    Platform::Say(Platform::Severity::Error, line);
    if (Platform::BoxesSeen())
        MessageBoxA(nullptr, line.c_str(), "sizeguard", MB_OK | icon);
}

// A second watchdog for the same settings would send every notice twice.
// The mutex lives as long as the process and is named in the namespace all
// sessions share, so that one started by hand meets the server's task; its
// name is a hash of the path in capitals, which may be of any length.
void StayAlone(const std::string& ini) {
    std::string upper = ini;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (const char c : upper)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    char name[64];
    std::snprintf(name, sizeof name, "Global\\sizeguard-%016llx",
                  static_cast<unsigned long long>(hash));
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    const DWORD error = GetLastError();
    if (mutex && error != ERROR_ALREADY_EXISTS)
        return;
    // Another user's watchdog holds one this user may not even open.
    if (!mutex && error != ERROR_ACCESS_DENIED)
        return Platform::Warn("cannot make sure that no other sizeguard watches for " + ini +
                              ": error " + std::to_string(error));
    Tell("another sizeguard is already watching for " + ini + "; this one ends",
         MB_ICONEXCLAMATION);
    Platform::EndProgram();
}

// Net is looked for beside the program first; failing that, Windows' own
// net.exe answers every notice with its usage and status 0.
void SayIfNoMessenger(const std::string& folder) {
    const std::string net = folder + (folder.back() == '\\' ? "" : "\\") + "Net.exe";
    if (GetFileAttributesA(net.c_str()) == INVALID_FILE_ATTRIBUTES)
        Platform::Say(Platform::Severity::Error,
                      "no Net.exe in " + folder +
                          ": notices would start Windows' own net.exe, which delivers none");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        const std::string folder = Platform::ApplicationDirectory();
        StayAlone(Mod_Main::SettingsFilePath(folder));
        SayIfNoMessenger(folder);
        Mod_Main::Main();
    } catch (const std::exception& error) {
        Tell(error.what(), MB_ICONERROR);
        return 2;
    }
}
