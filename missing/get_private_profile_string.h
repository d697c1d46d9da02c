// A stand-in for GetPrivateProfileStringA: the INI format as Windows' profile
// reader understands it, over the bytes of a file, for POSIX, which has no
// such reader, and for Net on both hosts, which reads its sections whole.
// Held to Windows' own under Wine by the tests.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace Platform {

// The value of `key` in the first `section` of that name, or empty; cut
// at `limit` characters.
std::string ProfileValue(std::string_view fileBytes, std::string_view section,
                         std::string_view key, std::size_t limit = ProfileValueLimit);

}  // namespace Platform
