#include "startup/main.h"

#include "platform/platform.h"
#include "settings/settings.h"
#include "watch/watch.h"

namespace Mod_Main {

namespace {

const char Section[] = "General";

std::string ReadSetting(const char* key) {
    return Platform::ReadProfileString(Section, key, Settings.IniPath);
}

[[noreturn]] void Refuse(const std::string& prompt, int style,
                         const std::string& title) {
    Platform::ShowMessage(prompt, style, title);
    Platform::EndProgram();
}

}  // namespace

void Main() {
    Settings.IniPath = SettingsFilePath(Platform::ApplicationDirectory());
    if (!Platform::FileExists(Settings.IniPath))
        Refuse("no ini file", Platform::OkOnly, "Sorry");

    std::string value = ReadSetting("TargetFile");
    if (value.empty())
        Refuse("no target file given", Platform::OkOnly, "Sorry");
    SetTargets(value);
    // Watched paths are checked before the recipients are even read.
    for (std::int32_t i = 0; i < Settings.TargetCount; ++i) {
        const std::string& path = Settings.TargetFiles[static_cast<std::size_t>(i)];
        if (!Platform::FileExists(path))
            Refuse(path, Platform::OkExclamation, "Target does not exist");
    }

    value = ReadSetting("NetSendAdr");
    if (value.empty())
        Refuse("no target for 'Net Send' given", Platform::OkOnly, "Sorry");
    SetRecipients(value);

    SetInterval(ReadSetting("Interval"));
    Settings.MessageText = ReadSetting("SendMessage");

    WatchLoop();
}

}  // namespace Mod_Main
