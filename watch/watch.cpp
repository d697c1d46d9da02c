#include "watch/watch.h"

#include "platform/platform.h"
#include "settings/settings.h"

namespace Mod_Main {

namespace {

// Empty-file and no-change notices carry MessageText in front when set;
// the missing-file notice never does.
std::string Notice(const std::string& finding, const std::string& path) {
    if (Settings.MessageText.empty())
        return finding + " " + path;
    return Settings.MessageText + " [ " + finding + " " + path + " ]";
}

void Pause() {
    const std::int32_t seconds = PauseSeconds(Settings.IntervalMs);
    for (std::int32_t j = 1; j <= seconds; ++j) {
        Platform::PauseOneSecond();
        Platform::DispatchEvents();
    }
}

}  // namespace

void WatchLoop() {
    for (;;) {
        WatchPass();
        Pause();
    }
}

void WatchPass() {
    for (std::int32_t i = 0; i < Settings.TargetCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const std::string& path = Settings.TargetFiles[index];
        // A file that vanishes after the existence test (log rotation)
        // counts as missing; it must not end the watching.
        const std::int64_t size =
            Platform::FileExists(path) ? Platform::FileLength(path) : -1;
        if (size < 0) {
            SendNotice("File does not exist " + path);
            continue;
        }
        if (size == 0) {
            SendNotice(Notice("Filesize is NULL", path));
            continue;
        }
        if (size == Settings.LastSizes[index])
            SendNotice(Notice("No Changes on file", path));
        Settings.LastSizes[index] = size;
    }
}

void SendNotice(const std::string& text) {
    for (std::int32_t r = 0; r < Settings.RecipientCount; ++r)
        Platform::RunCommand("Net Send " +
                                 Settings.Recipients[static_cast<std::size_t>(r)] +
                                 " \"" + text + "\"",
                             2);
}

}  // namespace Mod_Main
