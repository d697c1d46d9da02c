// The settings reader over arbitrary file bytes: never crashes, and hands
// back what the Windows reader could: at most 1023 characters, no NUL.
#include <cstdint>
#include <cstdlib>

#include "missing/get_private_profile_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"TargetFile", "NetSendAdr", "Interval", "SendMessage"}) {
        const std::string value = Platform::ProfileValue(text, "General", key);
        if (value.size() > Platform::ProfileValueLimit || value.find('\0') != std::string::npos)
            std::abort();
    }
    return 0;
}
