// The host operations on Windows, on the entries the design names.
#include "platform/platform.h"

#include <algorithm>
#include <stdexcept>

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
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(style == 2 ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    PROCESS_INFORMATION process;
    std::string line = commandLine;  // CreateProcessA may write into it
    // No application name: the program is looked for beside this one first.
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process))
        throw std::runtime_error("cannot start \"" + commandLine +
                                 "\": " + ErrorText(GetLastError()));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
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
}

void ShowMessage(const std::string& prompt, int style,
                 const std::string& title) {
    MessageBoxA(nullptr, prompt.c_str(), title.c_str(), static_cast<UINT>(style));
}

void EndProgram() {
    ExitProcess(1);
}

}  // namespace Platform
