#include "platform/fake_platform.h"

#include "platform/platform.h"
#include "settings/settings.h"

namespace Fake {

Host host;

void Reset() {
    host = Host{};
    Mod_Main::Settings = Mod_Main::SettingsRecord{};
}

}  // namespace Fake

namespace Platform {

using Fake::host;

namespace {

void Call(const char* name) {
    if (static_cast<int>(host.calls.size()) >= host.callBudget)
        throw Fake::OutOfCalls{};
    host.calls.push_back(name);
}

}  // namespace

std::string ApplicationDirectory() { return "C:\\watch"; }

bool FileExists(const std::string& path) {
    Call("FileExists");
    return path == Mod_Main::SettingsFilePath(ApplicationDirectory()) || host.files.count(path);
}

std::string ReadWholeProfileString(const std::string&, const std::string& key, const std::string&) {
    return host.settings.count(key) ? host.settings[key] : std::string();
}

std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& file) {
    Call("ReadProfileString");
    return ReadWholeProfileString(section, key, file).substr(0, ProfileValueLimit);
}

void Warn(const std::string& line) { host.said.push_back(line); }

std::int64_t FileLength(const std::string& path) {
    Call("FileLength");
    return host.files.count(path) ? host.files[path] : -1;
}

void RunCommand(const std::string& commandLine, int style) {
    Call("RunCommand");
    host.commands.push_back(commandLine + (style == 2 ? "" : " (wrong style)"));
}

void HandToMessengers(std::int32_t, const std::string&) {}

void PauseOneSecond() { Call("PauseOneSecond"); }

void DispatchEvents() { Call("DispatchEvents"); }

void ShowMessage(const std::string&, int, const std::string&) { Call("ShowMessage"); }

void EndProgram() { throw Fake::Ended{}; }

}  // namespace Platform
