// The text rules both messengers share: which delivery a recipient asks
// for, what a notice says, and the mail, alert and webhook texts made from
// it. Plain text in, plain text out: the hosts do the sending.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Messenger {

using Time = std::chrono::system_clock::time_point;

enum class Delivery { EveryTerminal, UserTerminals, Mail, Alert, Webhook, None };

// "*", an http(s) URL (Alertmanager's when its path ends in
// /api/v2/alerts), an address with "@", or a user name (letters, digits,
// ".", "_", "-", "$", not first "-"); anything else is None: a mistyped
// URL must not pass for a user who is not logged in.
Delivery DeliveryFor(std::string_view recipient);

// NAME@DOMAIN in printable ASCII, with nothing that could end or add a
// header line or an SMTP command.
bool IsMailAddress(std::string_view address);

// What a notice is about. A text that is not one of the watchdog's notices
// is a "SizeguardNotice" about no path.
struct Finding {
    std::string alertname;
    std::string path;
};

// `messageText` is the watchdog's SendMessage, put in front of the
// empty-file and no-change notices when set.
Finding ReadNotice(std::string_view text, std::string_view messageText);

// 8-bit text as UTF-8: valid UTF-8 sequences stay, and every other byte is
// read as Latin-1, so that a path in an older encoding stays readable.
std::string Utf8(std::string_view bytes);

// How long a posted alert stays firing without a new notice: three pauses
// of the watchdog, and at least 10 seconds.
std::chrono::seconds AlertLifetime(std::int32_t intervalMs);

// Alertmanager's API v2 body: an array holding one alert.
std::string AlertBody(const Finding& finding, std::string_view text, std::string_view instance,
                      Time startsAt, Time endsAt);

// The incoming-webhook body that chat services accept: {"text": TEXT}.
std::string WebhookBody(std::string_view text);

// The mail's header lines, without line ends; `unique` tells its
// Message-ID apart from others made in the same millisecond.
std::vector<std::string> MailHeaders(std::string_view from, std::string_view to,
                                     std::string_view text, Time now, std::uint64_t unique);

// The mail's body, in UTF-8 with CRLF line ends: the notice, the host and
// the time.
std::string MailBody(std::string_view text, std::string_view host, Time now);

// "2024-05-01T12:00:00.000Z"
std::string Rfc3339(Time time);

}  // namespace Messenger
