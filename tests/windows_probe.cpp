// The Windows tests' helper.
//   probe PROGRAM  ->  title= text= icon=0|1 buttons= running=1|0 status=
// starts PROGRAM, reads the message box it shows as a user sees it, presses
// OK and reports the exit status. Every wait has a limit: no box gives no
// title, no end "status=none".
//   probe --unseen PROGRAM  ->  the same, PROGRAM started in a window station
// of the probe's own that is not visible, with the probe's standard error.
//   probe --hold FILE  ->  holds FILE open without sharing, says "held", and
// lets go when its standard input ends.
// Copied under another name (Net.exe, msg.exe) it is a messenger that only
// records: it appends "[arg1][arg2]...\n" to "<its name>.calls" beside it,
// in one write, so that calls side by side never mix.
#include <cstdio>
#include <string>

#include <windows.h>

namespace {

std::string Text(HWND window, bool className = false) {
    char text[4096] = "";
    (className ? GetClassNameA : GetWindowTextA)(window, text, sizeof text);
    return text;
}

// EnumWindows' way of searching: the dialog of the process in `found`.
BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    auto* search = reinterpret_cast<std::pair<DWORD, HWND>*>(found);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->first || Text(window, true) != "#32770" || !IsWindowVisible(window))
        return TRUE;
    search->second = window;
    return FALSE;
}

BOOL CALLBACK AddButton(HWND child, LPARAM list) {
    auto* buttons = reinterpret_cast<std::string*>(list);
    if (Text(child, true) == "Button" && IsWindowVisible(child))
        *buttons += (buttons->empty() ? "" : ",") + Text(child);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    char self[MAX_PATH];
    std::string calls(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    calls = calls.substr(0, calls.size() - 4);
    if (lstrcmpiA(calls.substr(calls.rfind('\\') + 1).c_str(), "probe") != 0) {
        std::string line;
        for (int i = 1; i < argc; ++i)
            line += "[" + std::string(argv[i]) + "]";
        line += "\n";
        const HANDLE file = CreateFileA((calls + ".calls").c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                                        nullptr);
        DWORD written;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--hold") {
        const HANDLE file = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        std::puts(file == INVALID_HANDLE_VALUE ? "not held" : "held");
        std::fflush(stdout);
        while (std::getchar() != EOF) {
        }
        return 0;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    HDESK desktop = GetThreadDesktop(GetCurrentThreadId());
    const bool unseen = argc > 2 && std::string(argv[1]) == "--unseen";
    if (unseen) {
        --argc, ++argv;
        const HWINSTA own = GetProcessWindowStation();
        SetProcessWindowStation(CreateWindowStationA("probe", 0, WINSTA_ALL_ACCESS, nullptr));
        desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        SetProcessWindowStation(own);
        startup.lpDesktop = const_cast<char*>("probe\\Default");
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION program;
    std::string line = std::string("\"") + (argc > 1 ? argv[1] : "") + "\"";
    if (argc < 2 || !CreateProcessA(nullptr, line.data(), nullptr, nullptr, unseen, 0, nullptr,
                                    nullptr, &startup, &program))
        return 2;
    std::pair<DWORD, HWND> search = {program.dwProcessId, nullptr};
    for (int tries = 0; tries < 300 && !search.second &&
                        WaitForSingleObject(program.hProcess, 0) == WAIT_TIMEOUT;
         ++tries) {
        EnumDesktopWindows(desktop, FindBox, reinterpret_cast<LPARAM>(&search));
        Sleep(search.second ? 0 : 50);
    }
    if (const HWND box = search.second) {
        // Boxes without an icon keep an empty icon control.
        const HWND icon = GetDlgItem(box, 1088);
        std::string buttons;
        EnumChildWindows(box, AddButton, reinterpret_cast<LPARAM>(&buttons));
        std::printf("title=%s\ntext=%s\nicon=%d\nbuttons=%s\nrunning=%d\n", Text(box).c_str(),
                    Text(GetDlgItem(box, 65535)).c_str(),
                    icon && SendMessageA(icon, STM_GETICON, 0, 0) ? 1 : 0, buttons.c_str(),
                    WaitForSingleObject(program.hProcess, 0) == WAIT_TIMEOUT ? 1 : 0);
        std::fflush(stdout);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    DWORD status = 0;
    const bool ended = WaitForSingleObject(program.hProcess, 10000) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(program.hProcess, &status);
    std::printf(ended ? "status=%lu\n" : "status=none\n", status);
    TerminateProcess(program.hProcess, 9);
    return 0;
}
