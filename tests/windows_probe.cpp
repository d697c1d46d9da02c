// Starts a program, reads the message box it shows as a user would see it,
// waits HOLD seconds (default 0), presses OK and reports the exit status:
//   probe PROGRAM [HOLD]  ->  title=, text=, icon=0|1, buttons=, running=1|0, status=
// Every wait has a limit; "none" stands for a box or an end that never came.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <windows.h>

namespace {

struct Search {
    DWORD process;
    HWND box;
};

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    auto* search = reinterpret_cast<Search*>(found);
    DWORD process = 0;
    char name[16] = "";
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, name, sizeof name);
    if (process != search->process || std::string(name) != "#32770" || !IsWindowVisible(window))
        return TRUE;
    search->box = window;
    return FALSE;
}

BOOL CALLBACK AddButton(HWND child, LPARAM list) {
    char name[16] = "", text[64] = "";
    GetClassNameA(child, name, sizeof name);
    GetWindowTextA(child, text, sizeof text);
    auto* buttons = reinterpret_cast<std::string*>(list);
    if (std::string(name) == "Button" && IsWindowVisible(child))
        *buttons += (buttons->empty() ? "" : ",") + std::string(text);
    return TRUE;
}

std::string Text(HWND window) {
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program;
    std::string line = std::string("\"") + argv[1] + "\"";
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &program))
        return 3;
    Search search = {program.dwProcessId, nullptr};
    for (int tries = 0; tries < 300 && !search.box; ++tries) {
        if (WaitForSingleObject(program.hProcess, 0) == WAIT_OBJECT_0)
            break;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (!search.box)
            Sleep(50);
    }
    if (search.box) {
        // Boxes without an icon keep an empty icon control.
        const HWND icon = GetDlgItem(search.box, 1088);
        std::string buttons;
        EnumChildWindows(search.box, AddButton, reinterpret_cast<LPARAM>(&buttons));
        std::printf("title=%s\ntext=%s\nicon=%d\nbuttons=%s\nrunning=%d\n",
                    Text(search.box).c_str(), Text(GetDlgItem(search.box, 65535)).c_str(),
                    icon && SendMessageA(icon, STM_GETICON, 0, 0) ? 1 : 0, buttons.c_str(),
                    WaitForSingleObject(program.hProcess, 0) == WAIT_TIMEOUT ? 1 : 0);
        std::fflush(stdout);
        Sleep(argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) * 1000 : 0);
        PostMessageA(search.box, WM_COMMAND, IDOK, 0);
    } else {
        std::printf("title=none\n");
    }
    DWORD status = 0;
    if (WaitForSingleObject(program.hProcess, 10000) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(program.hProcess, &status))
        std::printf("status=%lu\n", status);
    else
        std::printf("status=none\n");
    TerminateProcess(program.hProcess, 9);
    return 0;
}
