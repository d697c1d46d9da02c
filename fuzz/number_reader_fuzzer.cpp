// The interval from any text: either the overflow error, or milliseconds
// that are the number read, times 1000, rounded half to even, and never 0.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "settings/settings.h"
#include "watch/watch.h"

using namespace Mod_Main;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double number = ReadNumber(text);
    if (std::isnan(number))
        std::abort();
    const double rounded = std::nearbyint(number * 1000.0);
    const bool fits = rounded >= -2147483648.0 && rounded <= 2147483647.0;
    try {
        SetInterval(text);
    } catch (const std::overflow_error&) {
        if (fits || text.empty())
            std::abort();
        return 0;
    }
    if (!fits)
        std::abort();
    const double expected = text.empty() || rounded == 0 ? DefaultIntervalMs : rounded;
    if (Settings.IntervalMs != expected || Settings.IntervalMs == 0)
        std::abort();
    PauseSeconds(Settings.IntervalMs);  // any interval gives a pause count
    return 0;
}
