// The messenger's Windows side, where net.exe no longer sends messages: a
// name or "*" goes to the system's msg.exe. A GUI program, so that no
// console window opens for a notice; a failure is said on standard error
// where there is one, and always in the Application event log.
#include "messenger/net_host.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <windows.h>

#include "platform/command_line.h"

namespace NetHost {

namespace {

// The system's text for an error; `subject` stands for the "%1" in it.
std::string ErrorText(DWORD error, const std::string& subject) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n ? std::string(text, n) : "error " + std::to_string(error);
    LocalFree(text);
    if (const std::size_t at = message.find("%1"); at != std::string::npos)
        message.replace(at, 2, subject);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' '))
        message.pop_back();
    return message;
}

std::wstring Wide(const std::string& text, UINT codePage) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(
        codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
        static_cast<int>(wide.size()))));
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
    return text;
}

bool NotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::string Name() {
    wchar_t name[256];
    DWORD size = 256;
    return GetComputerNameExW(ComputerNameDnsHostname, name, &size) ? Utf8(name) : "localhost";
}

std::string ProgramDirectory() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string exe(path, n < MAX_PATH ? n : 0);
    return exe.substr(0, std::min(exe.find_last_of("\\/"), exe.size()));
}

std::string ReadSettings(const std::string& path, std::string& reason) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!NotFound(GetLastError()))
            reason = "cannot read " + path + ": " + ErrorText(GetLastError(), path);
        return {};
    }
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && file && bytes << file.rdbuf())
        return bytes.str();
    reason = "cannot read " + path;
    return {};
}

std::string ErrorText(long error) {
    return ErrorText(static_cast<DWORD>(error), "it");
}

// Texts of this world are in the system's code page.
std::string Utf8(const std::string& text) {
    return Utf8(Wide(text, CP_ACP));
}

// A write that blocks is ended by the backstop.
std::string WriteRecord(const std::string& line) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!output || output == INVALID_HANDLE_VALUE)
        return {};
    if (std::printf("%s\n", line.c_str()) < 0 || std::fflush(stdout) != 0)
        return "cannot write on standard output: " + ErrorText(GetLastError(), "it");
    return {};
}

// msg.exe knows the names: users, sessions, session numbers.
std::string UnknownUser(const std::string& /*name*/, const std::string& /*host*/) {
    return {};
}

// Empty when msg.exe took the text, otherwise the reason.
std::string ToTerminals(const std::string& recipient, const std::string& /*line*/,
                        const std::string& text) {
    const std::string line =
        "msg.exe " + Platform::QuoteArgument(recipient) + " " + Platform::QuoteArgument(text);
    auto start = [&](const char* application, PROCESS_INFORMATION& process) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string writable = line;
        return CreateProcessA(application, writable.data(), nullptr, nullptr, FALSE,
                              CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)
                   ? DWORD{0}
                   : GetLastError();
    };
    PROCESS_INFORMATION process;
    const DWORD first = start(nullptr, process);
    if (first != 0) {
        // A 32-bit program does not see the 64-bit system folder, where
        // msg.exe lives, except through its alias.
        char windows[MAX_PATH];
        const UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
        const std::string alias = std::string(windows, n < MAX_PATH ? n : 0) + "\\Sysnative\\msg.exe";
        const DWORD second = n > 0 && n < MAX_PATH ? start(alias.c_str(), process)
                                                   : DWORD{ERROR_PATH_NOT_FOUND};
        if (second != 0 && NotFound(first) && NotFound(second))
            return "msg.exe not found: this Windows edition cannot show messages; use a mail or URL recipient";
        if (second != 0)
            return "cannot start msg.exe: " + ErrorText(first, "msg.exe") +
                   (NotFound(second) ? "" : "; nor " + alias + ": " + ErrorText(second, alias));
    }
    CloseHandle(process.hThread);
    DWORD status = 0;
    std::string reason;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(RemainingMs())) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        reason = "msg.exe did not end within " + std::to_string(BoundSeconds) + " s";
    } else if (GetExitCodeProcess(process.hProcess, &status) && status != 0) {
        reason = "msg.exe ended with status " + std::to_string(status);
    }
    CloseHandle(process.hProcess);
    return reason;
}

void SayFailure(const std::string& line, bool event) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (!event)
        return;
    if (HANDLE log = RegisterEventSourceA(nullptr, "sizeguard")) {
        const char* strings[] = {line.c_str()};
        ReportEventA(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(log);
    }
}

}  // namespace NetHost
