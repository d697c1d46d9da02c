// The host operations on Windows, on the entries the design names.
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include <windows.h>
#include <shlwapi.h>

namespace Platform {

namespace {

std::string ErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n ? std::string(text, n) : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.'))
        message.pop_back();
    return message;
}

void Say(const std::string& line) {
    std::fprintf(stderr, "sizeguard: %s\n", line.c_str());
}

// A condition that may last for hours is said at most once a minute.
bool SayNowAndThen(DWORD& saidAt, bool& saidOnce, const std::string& line) {
    if (saidOnce && GetTickCount() - saidAt < 60000)
        return false;
    Say(line);
    saidAt = GetTickCount();
    saidOnce = true;
    return true;
}

// Messengers started and not yet seen to finish: a hung one must slow the
// watching, not exhaust the system. One wait watches up to 64 processes.
struct Messenger {
    HANDLE process;
    std::string commandLine;
};
std::vector<Messenger> running;
constexpr std::size_t MostRunning = MAXIMUM_WAIT_OBJECTS;

void ReapFinished() {
    for (auto it = running.begin(); it != running.end();) {
        if (WaitForSingleObject(it->process, 0) != WAIT_OBJECT_0) {
            ++it;
            continue;
        }
        DWORD status = 0;
        if (GetExitCodeProcess(it->process, &status) && status != 0)
            Say(it->commandLine + " ended with status " + std::to_string(status));
        CloseHandle(it->process);
        it = running.erase(it);
    }
}

void WaitForRoom(const std::string& commandLine) {
    static DWORD saidAt;
    static bool saidOnce = false;
    ReapFinished();
    while (running.size() >= MostRunning) {
        SayNowAndThen(saidAt, saidOnce, std::to_string(running.size()) +
                                            " messengers still running; waiting to start " +
                                            commandLine);
        std::vector<HANDLE> processes;
        for (const Messenger& messenger : running)
            processes.push_back(messenger.process);
        WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), FALSE,
                               60000);
        ReapFinished();
    }
}

bool IsShortage(DWORD error) {
    return error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
           error == ERROR_NO_SYSTEM_RESOURCES || error == ERROR_COMMITMENT_LIMIT ||
           error == ERROR_NOT_ENOUGH_QUOTA;
}

}  // namespace

std::string ApplicationDirectory() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(),
                                           static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(std::min(path.rfind('\\'), path.size()));
    // A drive's root keeps its backslash ("C:\"), as the run-time library's
    // application path does.
    if (path.size() == 2 && path[1] == ':')
        path += '\\';
    return path;
}

bool FileExists(const std::string& path) {
    return PathFileExistsA(path.c_str()) != FALSE;
}

std::string ReadProfileString(const std::string& section,
                              const std::string& key,
                              const std::string& file) {
    char buffer[1024];
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "",
                                             buffer, sizeof buffer, file.c_str());
    return std::string(buffer, n);
}

std::int64_t FileLength(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

void RunCommand(const std::string& commandLine, int style) {
    WaitForRoom(commandLine);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(style == 2 ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    PROCESS_INFORMATION process;
    // A start refused for want of memory or system resources is a passing
    // shortage: the notice goes out late rather than not at all.
    DWORD pause = 100;
    bool shortageSaid = false;
    for (;;) {
        std::string line = commandLine;  // CreateProcessA may write into it
        // No application name: the program is looked for beside this one first.
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                           nullptr, nullptr, &startup, &process))
            break;
        const DWORD error = GetLastError();
        if (!IsShortage(error))
            throw std::runtime_error("cannot start \"" + commandLine + "\": " + ErrorText(error));
        static DWORD shortageSaidAt;
        static bool shortageSaidOnce = false;
        if (!shortageSaid)
            shortageSaid = SayNowAndThen(shortageSaidAt, shortageSaidOnce,
                                         "cannot start messengers for now (" + ErrorText(error) +
                                             "); trying again until they start");
        Sleep(pause);
        pause = std::min<DWORD>(pause * 2, 1000);
        ReapFinished();
    }
    if (shortageSaid)
        Say("messengers start again");
    CloseHandle(process.hThread);
    running.push_back({process.hProcess, commandLine});
}

void PauseOneSecond() {
    Sleep(1000);
}

void DispatchEvents() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ReapFinished();
}

void ShowMessage(const std::string& prompt, int style,
                 const std::string& title) {
    MessageBoxA(nullptr, prompt.c_str(), title.c_str(), static_cast<UINT>(style));
}

void EndProgram() {
    ExitProcess(1);
}

}  // namespace Platform
