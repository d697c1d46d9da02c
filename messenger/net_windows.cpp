// Net Send <recipient> <text>, for current Windows, where net.exe no longer
// sends messages: hands the text to the system's msg.exe and waits for it.
#include <cstdio>
#include <string>

#include <windows.h>

#include "platform/command_line.h"

namespace {

bool Start(const char* application, std::string line, PROCESS_INFORMATION& process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(application, line.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &process) != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || lstrcmpiA(argv[1], "send") != 0) {
        std::fputs("usage: Net Send <recipient> <text>\n", stderr);
        return 2;
    }
    // Quotes inside a notice split it into several arguments; join them
    // again so that msg.exe gets the text as one.
    std::string text;
    for (int i = 3; i < argc; ++i) {
        if (i > 3)
            text += ' ';
        text += argv[i];
    }
    const std::string line = "msg.exe " + Platform::QuoteArgument(argv[2]) + " " +
                             Platform::QuoteArgument(text);

    PROCESS_INFORMATION process;
    bool started = Start(nullptr, line, process);
    if (!started) {
        // A 32-bit program does not see the 64-bit system folder, where
        // msg.exe lives, except through its alias.
        char windows[MAX_PATH];
        const UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
        const std::string msg = std::string(windows, n) + "\\Sysnative\\msg.exe";
        started = n > 0 && n < MAX_PATH && Start(msg.c_str(), line, process);
    }
    if (!started) {
        std::fprintf(stderr, "Net: cannot start msg.exe (error %lu)\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
