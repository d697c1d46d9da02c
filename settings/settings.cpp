#include "settings/settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace Mod_Main {

SettingsRecord Settings;

namespace {

// k separators give k + 1 pieces, empty ones included.
std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (c == separator)
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Value of the digits after &H or &O. Up to 16 bits they read as a signed
// 16-bit number, up to 32 bits as a signed 32-bit one; beyond that the
// number does not fit any of the reader's integer types.
double ReadRadixNumber(const std::string& digits, unsigned radix) {
    std::uint64_t value = 0;
    for (char c : digits) {
        unsigned digit;
        if (IsDigit(c))
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        if (digit >= radix)
            break;
        value = value * radix + digit;
        if (value > 0xFFFFFFFFu)
            return HUGE_VAL;
    }
    if (value <= 0xFFFFu)
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

std::string SettingsFilePath(const std::string& applicationDirectory) {
    return applicationDirectory + "\\Sizeguard.ini";
}

void SetTargets(const std::string& value) {
    Settings.TargetFiles = Split(value, '*');
    const auto pieces = static_cast<std::int32_t>(Settings.TargetFiles.size());
    Settings.TargetCount = pieces == 1 ? 1 : pieces - 1;
    Settings.LastSizes.assign(static_cast<std::size_t>(Settings.TargetCount), 0);
}

void SetRecipients(const std::string& value) {
    Settings.Recipients = Split(value, ';');
    Settings.RecipientCount =
        static_cast<std::int32_t>(Settings.Recipients.size()) - 1;
}

std::int32_t IntervalMs(const std::string& value) {
    const std::int32_t ms =
        value.empty() ? 0 : RoundToInt32(ReadNumber(value) * 1000.0, "Interval \"" + value + "\"");
    return ms == 0 ? DefaultIntervalMs : ms;
}

void SetInterval(const std::string& value) {
    Settings.IntervalMs = IntervalMs(value);
}

std::int32_t PauseSeconds(std::int32_t intervalMs) {
    return RoundToInt32(intervalMs / 1000.0, "pause");
}

double ReadNumber(const std::string& text) {
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n')
            s += c;

    if (!s.empty() && s[0] == '&') {
        if (s.size() > 1 && (s[1] == 'H' || s[1] == 'h'))
            return ReadRadixNumber(s.substr(2), 16);
        if (s.size() > 1 && (s[1] == 'O' || s[1] == 'o'))
            return ReadRadixNumber(s.substr(2), 8);
        return 0;
    }

    // Copy the longest number at the start into a form from_chars reads:
    // digits, point, "e", exponent; the sign is put on after.
    const bool negative = !s.empty() && s[0] == '-';
    std::string number;
    std::size_t i = !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0;
    // Where the first significant digit stands against the point, to tell
    // an overflow from an underflow when from_chars finds either.
    long scale = 0;
    bool significant = false;
    bool mantissaDigits = false;
    for (; i < s.size() && IsDigit(s[i]); ++i, mantissaDigits = true) {
        number += s[i];
        significant = significant || s[i] != '0';
        scale += significant ? 1 : 0;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        for (; i < s.size() && IsDigit(s[i]); ++i, mantissaDigits = true) {
            number += s[i];
            scale -= significant || s[i] != '0' ? 0 : 1;
            significant = significant || s[i] != '0';
        }
    }
    if (!mantissaDigits)
        return 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' ||
                         s[i] == 'd')) {
        std::string exponent = "e";
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            exponent += s[i++];
        bool exponentDigits = false;
        long power = 0;  // held short of overflowing: beyond, the scale is clear
        for (; i < s.size() && IsDigit(s[i]); ++i, exponentDigits = true) {
            exponent += s[i];
            power = std::min(power * 10 + (s[i] - '0'), 100000L);
        }
        if (exponentDigits) {  // "1E" and "1E+" mean exponent 0
            number += exponent;
            scale += exponent[1] == '-' ? -power : power;
        }
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        value = scale > 0 ? HUGE_VAL : 0.0;
    return negative ? -value : value;
}

std::int32_t RoundToInt32(double value, const std::string& subject) {
    // The default rounding mode rounds a tie to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        throw std::overflow_error("overflow: " + subject);
    return static_cast<std::int32_t>(rounded);
}

}  // namespace Mod_Main
