// The INI format as the Windows profile reader understands it, over the
// bytes of a file. Shared by the hosts that have no such reader.
#pragma once

#include <string>
#include <string_view>

namespace Platform {

// Longest value the reader hands back: its 1024-character buffer less the
// terminator.
constexpr std::size_t ProfileValueLimit = 1023;

// The value of `key` in the first `section` of that name, or empty; cut
// at `limit` characters.
std::string ProfileValue(std::string_view fileBytes, std::string_view section,
                         std::string_view key, std::size_t limit = ProfileValueLimit);

}  // namespace Platform
