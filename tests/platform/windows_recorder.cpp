// A messenger that only records: appends "[arg1][arg2]...\n" to the file
// "<its own path without .exe>.calls".
#include <string>

#include <windows.h>

int main(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i)
        line += "[" + std::string(argv[i]) + "]";
    line += "\n";
    char self[MAX_PATH];
    std::string path(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    path = path.substr(0, path.size() - 4) + ".calls";
    // One appending write per call, so that calls side by side never mix.
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
