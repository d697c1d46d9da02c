// The whole start-up from a settings text to the settings record, against
// the test double, where every watched path exists and is empty. Whatever
// the text, start-up ends in a message box, the overflow error, or watching
// with a record that keeps its invariants.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "platform/fake_platform.h"
#include "missing/get_private_profile_string.h"
#include "settings/settings.h"
#include "startup/main.h"

using Mod_Main::Settings;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Fake::Reset();
    for (const char* key : {"TargetFile", "NetSendAdr", "Interval", "SendMessage"})
        Fake::host.settings[key] = Platform::ProfileValue(text, "General", key);
    // Every watched path exists and is empty: empty files keep LastSizes at 0.
    std::string path;
    for (char c : Fake::host.settings["TargetFile"] + "*") {
        if (c != '*')
            path += c;
        else
            Fake::host.files[std::exchange(path, {})] = 0;
    }
    Fake::host.callBudget = 5000;
    try {
        Mod_Main::Main();
    } catch (const Fake::Ended&) {
        return 0;
    } catch (const std::overflow_error&) {
        return 0;
    } catch (const Fake::OutOfCalls&) {
    }
    const auto targets = static_cast<std::size_t>(Settings.TargetCount);
    bool ok = Settings.TargetCount >= 1 && Settings.TargetFiles.size() >= targets &&
              Settings.RecipientCount >= 0 &&
              Settings.Recipients.size() >= static_cast<std::size_t>(Settings.RecipientCount) &&
              Settings.LastSizes.size() == targets && Settings.IntervalMs != 0;
    for (std::int64_t length : Settings.LastSizes)
        ok = ok && length == 0;
    if (!ok)
        std::abort();
    return 0;
}
