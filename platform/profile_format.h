// The INI format as the Windows profile reader understands it, over the
// bytes of a file. Shared by the hosts that have no such reader.
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
