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

// What the reader's cut loses may be a watched file or a recipient, and
// nothing else would ever tell: say it, then go on with what was read.
void SayIfCut(const char* key, const std::string& value, const std::string& consequence) {
    if (value.size() < Platform::ProfileValueLimit)
        return;
    const std::string whole = Platform::ReadWholeProfileString(Section, key, Settings.IniPath);
    if (whole.size() <= value.size())
        return;
    const std::string lost = whole.substr(value.size());
    Platform::Warn(std::string(key) + " is longer than " +
                   std::to_string(Platform::ProfileValueLimit) + " characters and is cut there: " + std::to_string(lost.size()) +
                   " characters are lost, from \"" + lost.substr(0, 40) +
                   (lost.size() > 40 ? "...\"" : "\"") + consequence);
}

std::string TargetsWatched() {
    if (Settings.TargetFiles.size() == 1)
        return "; the first " + std::to_string(Platform::ProfileValueLimit) + " are watched as one path";
    return "; " + std::to_string(Settings.TargetCount) +
           (Settings.TargetCount == 1 ? " file is" : " files are") +
           " watched, and not the text after the last \"*\": \"" +
           Settings.TargetFiles.back() + "\"";
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
    SayIfCut("TargetFile", value, TargetsWatched());
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
    SayIfCut("NetSendAdr", value, "");

    SetInterval(ReadSetting("Interval"));
    Settings.MessageText = ReadSetting("SendMessage");
    SayIfCut("SendMessage", Settings.MessageText, "");

    Platform::HandToMessengers(Settings.IntervalMs, Settings.MessageText);
    WatchLoop();
}

}  // namespace Mod_Main
