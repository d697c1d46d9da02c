#include "missing/get_private_profile_string.h"

namespace Platform {

namespace {

// Blanks as the Windows reader counts them, the DOS end-of-file mark
// (Ctrl-Z) included.
std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\v\f\x1a";
    const auto first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string Finish(std::string_view value, std::size_t limit) {
    value = value.substr(0, value.find('\0'));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
        value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, limit));
}

}  // namespace

std::string ProfileValue(std::string_view text, std::string_view section,
                         std::string_view key, std::size_t limit) {
    // Editors write a byte-order mark; the header behind it must still count.
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    bool inSection = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        const std::string_view line = Trim(text.substr(pos, end - pos));
        pos = std::min(text.find_first_not_of("\r\n", end), text.size());
        if (line.empty())
            continue;
        // A header runs to the last "]"; without one the line is a key.
        const std::size_t close = line.rfind(']');
        if (line[0] == '[' && close != std::string_view::npos) {
            if (inSection)  // only the first section of that name counts
                return {};
            inSection = SameName(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection)
            continue;
        // A line without "=" is a key without a value. Comment lines need
        // no rule of their own: they are keys starting with ";".
        const std::size_t equals = std::min(line.find('='), line.size());
        if (SameName(Trim(line.substr(0, equals)), key))
            return Finish(Trim(line.substr(std::min(equals + 1, line.size()))), limit);
    }
    return {};
}

}  // namespace Platform
