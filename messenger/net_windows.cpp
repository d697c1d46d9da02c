// Net Send RECIPIENT TEXT..., for current Windows, where net.exe no longer
// sends messages: a URL gets the same JSON POST as on POSIX, through
// WinHTTP; a name goes to the system's msg.exe. A GUI program, so that no
// console window opens for a notice; what goes wrong is said on standard
// error where there is one, and always in the Application event log.
#include <cstdio>
#include <string>

#include <windows.h>
#include <winhttp.h>

#include "messenger/notice.h"
#include "platform/command_line.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace {

// Whatever a server or msg.exe does, a delivery ends within this.
constexpr DWORD BoundSeconds = SIZEGUARD_NET_SECONDS;

// The system's text for an error; `subject` stands for the "%1" in it.
std::string ErrorText(DWORD error, const std::string& subject = "it") {
    char* text = nullptr;
    // WinHTTP's errors are described by its own module.
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleA("winhttp.dll"), error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n ? std::string(text, n) : "error " + std::to_string(error);
    LocalFree(text);
    if (const std::size_t at = message.find("%1"); at != std::string::npos)
        message.replace(at, 2, subject);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' '))
        message.pop_back();
    return message;
}

int Fail(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (HANDLE log = RegisterEventSourceA(nullptr, "sizeguard")) {
        const char* strings[] = {line.c_str()};
        ReportEventA(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(log);
    }
    return 1;
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

// Texts of this world are in the system's code page.
std::string AnsiToUtf8(const std::string& text) {
    return Utf8(Wide(text, CP_ACP));
}

std::string HostName() {
    wchar_t name[256];
    DWORD size = 256;
    return GetComputerNameExW(ComputerNameDnsHostname, name, &size) ? Utf8(name) : "localhost";
}

std::string Setting(const char* key) {
    return Platform::ReadProfileString(
        "General", key, Mod_Main::SettingsFilePath(Platform::ApplicationDirectory()));
}

bool NotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Empty when msg.exe took the text, otherwise the reason.
std::string ToSessions(const std::string& recipient, const std::string& text) {
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
            return "msg.exe not found: this Windows edition cannot show messages; use a URL recipient";
        if (second != 0)
            return "cannot start msg.exe: " + ErrorText(first, "msg.exe") +
                   (NotFound(second) ? "" : "; nor " + alias + ": " + ErrorText(second, alias));
    }
    CloseHandle(process.hThread);
    DWORD status = 0;
    std::string reason;
    if (WaitForSingleObject(process.hProcess, BoundSeconds * 1000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        reason = "msg.exe did not end within " + std::to_string(BoundSeconds) + " s";
    } else if (GetExitCodeProcess(process.hProcess, &status) && status != 0) {
        reason = "msg.exe ended with status " + std::to_string(status);
    }
    CloseHandle(process.hProcess);
    return reason;
}

// One POST, made on a thread of its own so that the whole of it, name
// look-up included, is bounded; a thread still waiting ends with the
// process, and what it uses is never destroyed under it.
struct Post {
    std::wstring url;
    std::string body;
    std::string reason;
};
Post& post = *new Post;

std::string WinHttpReason(DWORD error) {
    if (error == ERROR_WINHTTP_TIMEOUT)
        return "no answer within " + std::to_string(BoundSeconds) + " s";
    if (error == ERROR_WINHTTP_CANNOT_CONNECT || error == ERROR_WINHTTP_NAME_NOT_RESOLVED)
        return "cannot connect: " + ErrorText(error);
    return ErrorText(error);
}

DWORD WINAPI Send(void*) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
    if (!WinHttpCrackUrl(post.url.c_str(), 0, 0, &parts)) {
        post.reason = "not a URL: " + ErrorText(GetLastError());
        return 0;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
    const int bound = static_cast<int>(BoundSeconds * 1000);
    HINTERNET session = WinHttpOpen(L"sizeguard Net", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection =
        session && WinHttpSetTimeouts(session, bound, bound, bound, bound)
            ? WinHttpConnect(session, host.c_str(), parts.nPort, 0)
            : nullptr;
    HINTERNET request =
        connection ? WinHttpOpenRequest(connection, L"POST", path.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0)
                   : nullptr;
    // As on POSIX, an answer that sends elsewhere is an answer, not followed.
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    const auto size = static_cast<DWORD>(post.body.size());
    DWORD status = 0, statusSize = sizeof status;
    if (request &&
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects) &&
        WinHttpSendRequest(request, L"Content-Type: application/json\r\n", DWORD(-1),
                           post.body.data(), size, size, 0) &&
        WinHttpReceiveResponse(request, nullptr) &&
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                            WINHTTP_NO_HEADER_INDEX)) {
        if (status < 200 || status >= 300) {
            char answer[200];
            DWORD read = 0;
            WinHttpReadData(request, answer, sizeof answer, &read);
            std::string excerpt(answer, read);
            for (char& c : excerpt)
                c = c >= 0 && c < ' ' ? ' ' : c;
            post.reason = "answered " + std::to_string(status) + (read ? ": " + excerpt : "");
        }
    } else {
        post.reason = WinHttpReason(GetLastError());
    }
    for (HINTERNET handle : {request, connection, session})
        if (handle)
            WinHttpCloseHandle(handle);
    return 0;
}

std::string PostJson(const std::string& url, const std::string& body) {
    post = {Wide(url, CP_ACP), body, {}};
    HANDLE thread = CreateThread(nullptr, 0, Send, nullptr, 0, nullptr);
    if (!thread)
        return "cannot post: " + ErrorText(GetLastError());
    const bool ended = WaitForSingleObject(thread, BoundSeconds * 1000 + 1000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended ? post.reason : "no answer within " + std::to_string(BoundSeconds) + " s";
}

std::string Alert(const std::string& url, const std::string& text) {
    Mod_Main::SetInterval(Setting("Interval"));
    const Messenger::Finding ansi = Messenger::ReadNotice(text, Setting("SendMessage"));
    const auto now = std::chrono::system_clock::now();
    return PostJson(url, Messenger::AlertBody({ansi.alertname, AnsiToUtf8(ansi.path)},
                                              AnsiToUtf8(text), HostName(), now,
                                              now + Messenger::AlertLifetime(
                                                        Mod_Main::Settings.IntervalMs)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || lstrcmpiA(argv[1], "send") != 0 || !*argv[2]) {
        Fail("usage: Net Send <recipient> <text>");
        return 2;
    }
    const std::string recipient = argv[2];
    // Quotes inside a notice split it into several arguments; join them
    // again.
    std::string text;
    for (int i = 3; i < argc; ++i)
        text.append(i > 3 ? " " : "").append(argv[i]);
    std::string reason;
    try {
        switch (Messenger::DeliveryFor(recipient)) {
        case Messenger::Delivery::EveryTerminal:
        case Messenger::Delivery::UserTerminals:
            reason = ToSessions(recipient, text);
            break;
        case Messenger::Delivery::Mail:
            reason = "mail is not delivered on Windows; use a URL recipient";
            break;
        case Messenger::Delivery::Alert:
            reason = Alert(recipient, text);
            break;
        case Messenger::Delivery::Webhook:
            reason = PostJson(recipient, Messenger::WebhookBody(AnsiToUtf8(text)));
            break;
        }
    } catch (const std::exception& error) {
        reason = error.what();
    }
    return reason.empty() ? 0 : Fail("Net: " + recipient + ": " + reason);
}
