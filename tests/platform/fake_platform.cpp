#include "platform/fake_platform.h"

#include "platform/platform.h"
#include "settings/settings.h"

namespace Fake {

Host host;

void Reset() {
    host = Host{};
    Mod_Main::Settings = Mod_Main::SettingsRecord{};
}

namespace {

std::string SettingsFile() {
    return Mod_Main::SettingsFilePath(host.applicationDirectory);
}

void Call(const char* name) {
    if (static_cast<int>(host.calls.size()) >= host.callBudget)
        throw OutOfCalls{};
    host.calls.push_back(name);
}

}  // namespace

}  // namespace Fake

namespace Platform {

using Fake::host;

std::string ApplicationDirectory() {
    Fake::Call("ApplicationDirectory");
    return host.applicationDirectory;
}

bool FileExists(const std::string& path) {
    Fake::Call("FileExists");
    if (path == Fake::SettingsFile())
        return host.settingsFileExists;
    return host.files.count(path) != 0;
}

std::string ReadWholeProfileString(const std::string& section,
                                   const std::string& key,
                                   const std::string& file) {
    if (!host.settingsFileExists || section != "General" ||
        file != Fake::SettingsFile())
        return {};
    auto found = host.settings.find(key);
    return found == host.settings.end() ? std::string() : found->second;
}

std::string ReadProfileString(const std::string& section,
                              const std::string& key,
                              const std::string& file) {
    Fake::Call("ReadProfileString");
    host.keysRead.push_back(key);
    return ReadWholeProfileString(section, key, file).substr(0, 1023);
}

void Warn(const std::string& line) {
    host.warnings.push_back(line);
}

std::int64_t FileLength(const std::string& path) {
    Fake::Call("FileLength");
    auto found = host.files.find(path);
    return found == host.files.end() ? -1 : found->second;
}

void RunCommand(const std::string& commandLine, int style) {
    Fake::Call("RunCommand");
    host.commands.push_back(commandLine + (style == 2 ? "" : " (wrong style)"));
}

void PauseOneSecond() { Fake::Call("PauseOneSecond"); }

void DispatchEvents() { Fake::Call("DispatchEvents"); }

void ShowMessage(const std::string& prompt, int style,
                 const std::string& title) {
    Fake::Call("ShowMessage");
    host.messages.push_back(title + "|" + prompt + "|" + std::to_string(style));
}

void EndProgram() {
    Fake::Call("EndProgram");
    throw Fake::Ended{};
}

}  // namespace Platform
