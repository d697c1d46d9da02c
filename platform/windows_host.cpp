// The host operations on Windows, on the entries the program was made for.
#include "missing/command_line_to_argv.h"
#include "platform/host.h"
#include "platform/messengers.h"
#include "platform/platform.h"
#include "platform/windows_desktop.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <windows.h>

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

// The Application event log, under source sizeguard, is where Windows
// administrators look: a program started at logon has no standard error.
// Without a registered source the text still shows, behind a preface.
void LogEvent(WORD type, const std::string& text) {
    static const HANDLE source = RegisterEventSourceA(nullptr, "sizeguard");
    const char* strings[] = {text.c_str()};
    if (source)
        ReportEventA(source, type, 0, 1, nullptr, 1, 0, strings, nullptr);
}

// The text in the ANSI code page, or nothing when a character has no place
// there (no best fit: "?" or a look-alike would name another file).
bool ToAnsi(const std::wstring& text, std::string& ansi) {
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
    ansi.assign(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        ansi.data(), n, nullptr, &lossy);
    return !lossy;
}

// The ANSI entries stop at MAX_PATH, the full path's terminator included:
// a longer path cannot be examined even when it exists, whatever error the
// system gives for it.
bool TooLong(const std::string& path) {
    std::wstring wide(path.size() + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    return GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr) > MAX_PATH;
}

// These say only that the path is not there; any other failure to look at
// it must be said, not taken for absence.
bool Absence(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE: case ERROR_BAD_NETPATH: case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME: case ERROR_DIRECTORY:
        return true;
    default:
        return false;
    }
}

// Why a path could not be looked at, or nothing when it is simply not there.
std::string Unexamined(const std::string& path, DWORD error) {
    if (TooLong(path))
        return "longer than the " + std::to_string(MAX_PATH - 1) +
               " characters this program can examine";
    return Absence(error) ? std::string() : ErrorText(error);
}

void SayUnlessAbsent(const std::string& path, DWORD error) {
    const std::string reason = Unexamined(path, error);
    if (!reason.empty())
        SayCannotExamine(path, reason);
}

// One look at a path, on a thread of its own with a small stack: a dead
// share holds it for ever.
struct Looker {
    HANDLE thread = nullptr;
    std::string path;
    BOOL found = FALSE;
    DWORD error = 0;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
};

DWORD WINAPI Look(void* argument) {
    auto* looker = static_cast<Looker*>(argument);
    looker->found = GetFileAttributesExA(looker->path.c_str(), GetFileExInfoStandard, &looker->data);
    looker->error = looker->found ? 0 : GetLastError();
    return 0;
}

// Passing refusals: a shortage of memory or system resources, or the
// program's file held open by another process (an updater, a virus scanner).
bool Passing(DWORD error) {
    switch (error) {
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: case ERROR_NO_SYSTEM_RESOURCES:
    case ERROR_COMMITMENT_LIMIT: case ERROR_NOT_ENOUGH_QUOTA:
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string ApplicationDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(std::min(path.rfind(L'\\'), path.size()));
    // A drive's root keeps its backslash ("C:\"), as the run-time library's
    // application path does.
    if (path.size() == 2 && path[1] == L':')
        path += L'\\';
    // The settings are found through the ANSI code page. A folder whose name
    // does not survive it is known by its short name, which does; without
    // one the settings are not found, and the box says so.
    std::string folder;
    if (ToAnsi(path, folder))
        return folder;
    std::wstring shortPath(GetShortPathNameW(path.c_str(), nullptr, 0), L'\0');
    shortPath.resize(GetShortPathNameW(path.c_str(), shortPath.data(),
                                       static_cast<DWORD>(shortPath.size())));
    std::string shortFolder;
    return !shortPath.empty() && ToAnsi(shortPath, shortFolder) ? shortFolder : folder;
}

std::string ReadProfileString(const std::string& section,
                              const std::string& key,
                              const std::string& file) {
    char buffer[ProfileValueLimit + 1];
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "",
                                             buffer, sizeof buffer, file.c_str());
    if (n == 0) {
        // The reader says nothing of a file it could not open.
        const HANDLE opened = CreateFileA(file.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        const DWORD error = GetLastError();
        if (opened != INVALID_HANDLE_VALUE)
            CloseHandle(opened);
        else
            SayUnlessAbsent(file, error);
    }
    return std::string(buffer, n);
}

std::string ReadWholeProfileString(const std::string& section,
                                   const std::string& key,
                                   const std::string& file) {
    // The reader fills all but the terminator when the value does not fit.
    std::string buffer(ProfileValueLimit + 1, '\0');
    for (;;) {
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), file.c_str());
        if (n + 1 < buffer.size())
            return buffer.substr(0, n);
        buffer.resize(buffer.size() * 2);
    }
}

void DispatchEvents() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    CollectMessengers();
}

void ShowMessage(const std::string& prompt, int style,
                 const std::string& title) {
    LogEvent(EVENTLOG_ERROR_TYPE, title + ": " + prompt);
    // Where nobody would ever close it, the line goes to standard error
    // instead, as on POSIX, and the program ends at once.
    if (BoxesSeen())
        MessageBoxA(nullptr, prompt.c_str(), title.c_str(), static_cast<UINT>(style));
    else
        std::fprintf(stderr, "%s: %s\n", title.c_str(), prompt.c_str());
}

void EndProgram() {
    ExitProcess(1);
}

namespace Host {

std::int64_t NowMs() {
    return static_cast<std::int64_t>(GetTickCount64());
}

void Pause(std::int64_t ms) {
    Sleep(static_cast<DWORD>(ms));
}

void WriteReport(Severity severity, const std::string& line) {
    std::fprintf(stderr, "sizeguard: %s\n", line.c_str());  // where one is attached
    LogEvent(severity == Severity::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE, line);
}

Start StartProcess(const std::string& commandLine, int style) {
    // Its standard error comes to the watchdog through a pipe; only the
    // messenger's end is inherited, and only by it, since the watchdog
    // starts one at a time and closes its copy at once.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE errors = nullptr, messengerErrors = nullptr;
    if (!CreatePipe(&errors, &messengerErrors, &inherited, 65536)) {
        const DWORD error = GetLastError();
        return {false, 0, 0, Passing(error), "cannot make a pipe: " + ErrorText(error)};
    }
    SetHandleInformation(errors, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = static_cast<WORD>(style == MinimizedFocus ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = messengerErrors;
    PROCESS_INFORMATION process;
    std::string line = commandLine;  // CreateProcessA may write into it
    // No application name: the program is looked for beside this one first.
    const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    const DWORD error = GetLastError();
    CloseHandle(messengerErrors);
    if (started) {
        CloseHandle(process.hThread);
        return {true, reinterpret_cast<Process>(process.hProcess),
                reinterpret_cast<std::intptr_t>(errors), false, {}};
    }
    CloseHandle(errors);
    const std::vector<std::string> arguments = SplitCommandLine(commandLine);
    const std::string program = arguments.empty() ? std::string() : arguments[0];
    // Wine says "not found" of a program held open without sharing, where
    // Windows says "sharing violation": a program that can still be found
    // is only held.
    char found[MAX_PATH];
    const bool held = error == ERROR_FILE_NOT_FOUND && !program.empty() &&
                      SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, found, nullptr) > 0;
    return {false, 0, 0, Passing(error) || held, program + ": " + ErrorText(error)};
}

std::size_t ReadErrors(std::intptr_t errors, char* buffer, std::size_t size) {
    const HANDLE pipe = reinterpret_cast<HANDLE>(errors);
    DWORD available = 0, read = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0)
        return 0;
    if (!ReadFile(pipe, buffer, std::min(available, static_cast<DWORD>(size)), &read, nullptr))
        return 0;
    return read;
}

void CloseErrors(std::intptr_t errors) {
    CloseHandle(reinterpret_cast<HANDLE>(errors));
}

void SetEnvironment(const std::string& name, const std::string& value) {
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

Examiner StartExamining(Examiner examiner, const std::string& path) {
    if (examiner != 0)
        EndExaminer(examiner);
    auto* looker = new Looker;
    looker->path = path;
    looker->thread = CreateThread(nullptr, 64 * 1024, Look, looker,
                                  STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!looker->thread)
        Look(looker);  // no thread to be had: look in place
    return reinterpret_cast<Examiner>(looker);
}

bool Answered(Examiner examiner, std::int64_t ms, Found& found) {
    const Looker& looker = *reinterpret_cast<Looker*>(examiner);
    if (looker.thread && WaitForSingleObject(looker.thread, static_cast<DWORD>(ms)) == WAIT_TIMEOUT)
        return false;
    found.exists = looker.found;
    if (found.exists)
        found.length = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(looker.data.nFileSizeHigh) << 32) | looker.data.nFileSizeLow);
    else
        found.reason = Unexamined(looker.path, looker.error);
    return true;
}

void EndExaminer(Examiner examiner) {
    Looker* looker = reinterpret_cast<Looker*>(examiner);
    if (looker->thread)
        CloseHandle(looker->thread);
    delete looker;
}

bool Ended(Process process, std::string& failure) {
    const HANDLE handle = reinterpret_cast<HANDLE>(process);
    if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT)
        return false;
    DWORD status = 0;
    if (GetExitCodeProcess(handle, &status) && status != 0)
        failure = "ended with status " + std::to_string(status);
    CloseHandle(handle);
    return true;
}

void WaitForAnyEnd(const std::vector<Process>& processes, std::int64_t ms) {
    std::vector<HANDLE> handles;
    for (Process process : processes)
        handles.push_back(reinterpret_cast<HANDLE>(process));
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                           static_cast<DWORD>(ms));
}

}  // namespace Host

}  // namespace Platform
