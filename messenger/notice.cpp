#include "messenger/notice.h"

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "settings/settings.h"

namespace Messenger {

namespace {

bool NoCaseStartsWith(std::string_view text, std::string_view start) {
    if (text.size() < start.size())
        return false;
    for (std::size_t i = 0; i < start.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] - 'A' + 'a') : text[i];
        if (c != start[i])
            return false;
    }
    return true;
}

// Length of the valid UTF-8 sequence at the start of `s`, or 0: no
// overlong forms, no surrogates, nothing beyond U+10FFFF.
std::size_t Utf8Sequence(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else
        return 0;
    if (s.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

std::string Base64(std::string_view bytes) {
    static const char digits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = 0;
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        for (std::size_t j = 0; j < 3; ++j)
            group = group << 8 | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        for (std::size_t j = 0; j < 4; ++j)
            out += j <= n ? digits[group >> (18 - 6 * j) & 0x3F] : '=';
    }
    return out;
}

// The Subject line: the text as it stands when it is printable ASCII that
// fits one line, otherwise RFC 2047 encoded-words of at most 75
// characters, one per folded line, never splitting a character.
std::string Subject(std::string_view text) {
    const std::string utf8 = Utf8(text);
    const std::string name = "Subject:";
    const bool plain =
        utf8.find("=?") == std::string::npos && name.size() + 1 + utf8.size() <= 998 &&
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    if (plain)
        return name + " " + utf8;
    std::string header = name;
    constexpr std::size_t WordBytes = 45;  // 60 base64 characters
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = std::min(WordBytes, utf8.size() - i);
        while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80)
            --n;
        header += (i ? "\r\n " : " ") + ("=?UTF-8?B?" + Base64(utf8.substr(i, n))) + "?=";
        i += n;
    }
    return header;
}

struct Civil {
    int year;
    unsigned month, day, weekday, hour, minute, second, millisecond;
};

Civil CivilTime(Time time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time);
    const auto day = floor<days>(ms);
    const year_month_day date(day);
    const hh_mm_ss clock(ms - day);
    return {int(date.year()), unsigned(date.month()), unsigned(date.day()),
            weekday(day).c_encoding(), unsigned(clock.hours().count()),
            unsigned(clock.minutes().count()), unsigned(clock.seconds().count()),
            unsigned(clock.subseconds().count())};
}

template <typename... Values>
std::string Format(const char* format, Values... values) {
    char text[128];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// "Wed, 01 May 2024 12:00:00 +0000", as mail dates are written.
std::string MailDate(Time time) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const Civil t = CivilTime(time);
    return Format("%s, %02u %s %04d %02u:%02u:%02u +0000", days[t.weekday], t.day,
                  months[t.month - 1], t.year, t.hour, t.minute, t.second);
}

}  // namespace

Delivery DeliveryFor(std::string_view recipient) {
    if (recipient == "*")
        return Delivery::EveryTerminal;
    if (NoCaseStartsWith(recipient, "http://") || NoCaseStartsWith(recipient, "https://")) {
        const std::string_view path = recipient.substr(0, recipient.find_first_of("?#"));
        return path.ends_with("/api/v2/alerts") ? Delivery::Alert : Delivery::Webhook;
    }
    if (recipient.find('@') != std::string_view::npos)
        return Delivery::Mail;
    const bool name = !recipient.empty() && recipient[0] != '-' &&
                      std::all_of(recipient.begin(), recipient.end(), [](char c) {
                          return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                 (c >= '0' && c <= '9') || std::string_view("._-$").find(c) !=
                                 std::string_view::npos || static_cast<unsigned char>(c) >= 0x80;
                      });
    return name ? Delivery::UserTerminals : Delivery::None;
}

bool IsMailAddress(std::string_view address) {
    const std::size_t at = address.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 == address.size())
        return false;
    return std::all_of(address.begin(), address.end(), [](char c) {
        return c > ' ' && c < 0x7F && std::string_view("<>()[]\\,;:\"").find(c) == std::string_view::npos;
    }) && address.find('@', at + 1) == std::string_view::npos;
}

Finding ReadNotice(std::string_view text, std::string_view messageText) {
    struct Form {
        const char* finding;
        const char* alertname;
    };
    static const Form forms[] = {{"File does not exist", "FileMissing"},
                                 {"Filesize is NULL", "FileEmpty"},
                                 {"No Changes on file", "FileNotGrowing"}};
    // SendMessage's forms first: the text in front may itself look like a
    // finding. The missing-file notice never carries it.
    for (std::size_t i = 1; i < std::size(forms) && !messageText.empty(); ++i) {
        const std::string start = std::string(messageText) + " [ " + forms[i].finding + " ";
        if (text.starts_with(start) && text.size() >= start.size() + 2 && text.ends_with(" ]"))
            return {forms[i].alertname,
                    std::string(text.substr(start.size(), text.size() - start.size() - 2))};
    }
    // The bare forms, also when SendMessage is set: someone testing by
    // hand writes them so.
    for (const Form& form : forms) {
        const std::string start = std::string(form.finding) + " ";
        if (text.starts_with(start))
            return {form.alertname, std::string(text.substr(start.size()))};
    }
    return {"SizeguardNotice", ""};
}

std::string Utf8(std::string_view bytes) {
    std::string out;
    while (!bytes.empty()) {
        const std::size_t n = Utf8Sequence(bytes);
        if (n > 0) {
            out += bytes.substr(0, n);
        } else {
            const auto latin1 = static_cast<unsigned char>(bytes[0]);
            out += char(0xC0 | latin1 >> 6);
            out += char(0x80 | (latin1 & 0x3F));
        }
        bytes.remove_prefix(std::max<std::size_t>(n, 1));
    }
    return out;
}

std::chrono::seconds AlertLifetime(std::int32_t intervalMs) {
    // The watchdog pauses whole seconds, rounded as it rounds them.
    const std::int64_t pause = Mod_Main::PauseSeconds(intervalMs);
    return std::chrono::seconds(std::max<std::int64_t>(3 * pause, 10));
}

std::string AlertBody(const Finding& finding, std::string_view text, std::string_view instance,
                      Time startsAt, Time endsAt) {
    nlohmann::json labels = {{"alertname", finding.alertname}, {"instance", Utf8(instance)}};
    if (!finding.path.empty())
        labels["path"] = Utf8(finding.path);
    // Alertmanager takes a missing startsAt to be endsAt: both are sent.
    const nlohmann::json alert = {{"labels", labels},
                                  {"annotations", {{"summary", Utf8(text)}}},
                                  {"startsAt", Rfc3339(startsAt)},
                                  {"endsAt", Rfc3339(endsAt)}};
    return nlohmann::json::array({alert}).dump();
}

std::string WebhookBody(std::string_view text) {
    return nlohmann::json{{"text", Utf8(text)}}.dump();
}

std::vector<std::string> MailHeaders(std::string_view from, std::string_view to,
                                     std::string_view text, Time now, std::uint64_t unique) {
    const std::size_t at = from.rfind('@');
    const std::string_view domain = at == std::string_view::npos ? "localhost" : from.substr(at + 1);
    const Civil t = CivilTime(now);
    const std::string id = Format("%04d%02u%02u%02u%02u%02u.%03u.%016llx", t.year, t.month, t.day,
                                  t.hour, t.minute, t.second, t.millisecond,
                                  static_cast<unsigned long long>(unique));
    return {"From: " + std::string(from), "To: " + std::string(to), "Date: " + MailDate(now),
            "Message-ID: <" + id + "@" + std::string(domain) + ">", Subject(text)};
}

std::string MailBody(std::string_view text, std::string_view host, Time now) {
    const Civil t = CivilTime(now);
    return Utf8(text) + "\r\n\r\nHost: " + Utf8(host) + "\r\nTime: " +
           Format("%04d-%02u-%02u %02u:%02u:%02u UTC", t.year, t.month, t.day, t.hour, t.minute,
                  t.second) +
           "\r\n";
}

std::string Rfc3339(Time time) {
    const Civil t = CivilTime(time);
    return Format("%04d-%02u-%02uT%02u:%02u:%02u.%03uZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
}

}  // namespace Messenger
