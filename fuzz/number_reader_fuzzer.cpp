// The interval from any text: a number (never NaN), then either the
// overflow error or milliseconds that are never 0, and a pause count for
// whatever milliseconds came out.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "settings/settings.h"
#include "watch/watch.h"

using namespace Mod_Main;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (std::isnan(ReadNumber(text)))
        std::abort();
    try {
        SetInterval(text);
    } catch (const std::overflow_error&) {
        return 0;
    }
    if (Settings.IntervalMs == 0)
        std::abort();
    PauseSeconds(Settings.IntervalMs);
    return 0;
}
