// Net Send RECIPIENT TEXT...: the messenger the watchdog starts, on both
// hosts. The recipient's form chooses the delivery: terminals, mail through
// an SMTP server, or a JSON POST to Alertmanager or a chat webhook, all but
// the terminals through libcurl. Every delivery is recorded as a line on
// standard output (the journal, under systemd). It retries nothing: the
// watchdog's next pass repeats the notice.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include <curl/curl.h>

#include "messenger/net_host.h"
#include "messenger/notice.h"
#include "platform/profile_format.h"
#include "platform/without_secrets.h"
#include "settings/settings.h"

namespace {

using Clock = std::chrono::steady_clock;
using NetHost::BoundSeconds;

// Every stage of a delivery ends by then, whatever a server or the output
// does.
const Clock::time_point deadline = Clock::now() + std::chrono::seconds(BoundSeconds);

// Should a stage still hang a second after the deadline (a write that
// blocks, a server silent where libcurl waits longer), Net ends there all
// the same, saying the stage's reason; once the outcome is known, with it.
struct Backstop {
    std::mutex lock;
    std::string reason = "no delivery within " + std::to_string(BoundSeconds) + " s";
    int status = 1;
    std::string prefix;  // for the line that says the reason
    bool event = true;
};
Backstop& backstop = *new Backstop;  // never destroyed under the thread

void Stage(const std::string& reason, int status = 1) {
    const std::lock_guard hold(backstop.lock);
    backstop.reason = reason;
    backstop.status = status;
}

void ArmBackstop() {
    std::thread([] {
        std::this_thread::sleep_until(deadline + std::chrono::seconds(1));
        const std::lock_guard hold(backstop.lock);
        if (!backstop.reason.empty())
            NetHost::SayFailure(backstop.prefix + backstop.reason, backstop.event);
        std::_Exit(backstop.status);
    }).detach();
}

}  // namespace

long NetHost::RemainingMs() {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max<long>(1, static_cast<long>(left.count()));
}

namespace {

std::string Within() {
    return " within " + std::to_string(BoundSeconds) + " s";
}

// The settings file beside the program, read once, when a delivery needs it.
struct SettingsFile {
    bool read = false;
    std::string bytes;
    std::string unreadable;
};
SettingsFile settings;

// Empty when the file can be read (or is not there).
std::string ReadSettings() {
    if (!settings.read)
        settings.bytes = NetHost::ReadSettings(
            Mod_Main::SettingsFilePath(NetHost::ProgramDirectory()), settings.unreadable);
    settings.read = true;
    return settings.unreadable;
}

std::string Setting(const char* section, const char* key) {
    return Platform::ProfileValue(settings.bytes, section, key);
}

// A name in [Recipients] stands for its entry, which wins over a user of
// that name: the command line, ps and every line show the name alone, and
// the token or address stays in the file, readable by the service alone.
std::string Named(const std::string& recipient, std::string& unreadable) {
    unreadable = ReadSettings();
    const std::string entry = unreadable.empty() ? Setting("Recipients", recipient.c_str()) : "";
    return entry.empty() ? recipient : entry;
}

// A log-in in a URL, as libcurl reads the URL: one it would send.
bool HoldsLogIn(const std::string& url, std::string& scheme) {
    CURLU* parts = curl_url();
    bool logIn = false;
    if (curl_url_set(parts, CURLUPART_URL, url.c_str(), CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) ==
        CURLUE_OK) {
        char* part = nullptr;
        for (CURLUPart which : {CURLUPART_USER, CURLUPART_PASSWORD, CURLUPART_SCHEME})
            if (curl_url_get(parts, which, &part, 0) == CURLUE_OK) {
                logIn |= which != CURLUPART_SCHEME;
                if (which == CURLUPART_SCHEME)
                    scheme = part;
                curl_free(part);
            }
    }
    curl_url_cleanup(parts);
    return logIn;
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
template <typename T>
using Owned = std::unique_ptr<T, CurlDeleter>;

// One transfer to `where`, bounded; the start of the server's answer is
// kept for the reason line.
struct Transfer {
    Owned<CURL> curl{curl_easy_init()};
    std::string where;
    char error[CURL_ERROR_SIZE] = "";
    std::string answer;
    std::string reply;  // a mail server's last reply line
};

size_t KeepAnswer(char* data, size_t size, size_t count, void* transfer) {
    std::string& answer = static_cast<Transfer*>(transfer)->answer;
    answer.append(data, std::min(size * count, 200 - std::min<size_t>(answer.size(), 200)));
    return size * count;
}

size_t KeepReply(char* data, size_t size, size_t count, void* transfer) {
    std::string line(data, size * count);
    line.erase(line.find_last_not_of("\r\n") + 1);
    static_cast<Transfer*>(transfer)->reply = line;
    return size * count;
}

void Prepare(Transfer& transfer, const std::string& url, const char* protocols) {
    CURL* curl = transfer.curl.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, protocols);
    // The whole transfer, and each reply of a mail server, which libcurl
    // would otherwise wait for up to two minutes.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, NetHost::RemainingMs());
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, (NetHost::RemainingMs() + 999) / 1000);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Schannel (Windows) fails a certificate whose revocation list cannot
    // be fetched: behind an intercepting proxy, or with the list's server
    // down. A revoked certificate still fails. OpenSSL ignores this.
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, long{CURLSSLOPT_REVOKE_BEST_EFFORT});
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer.error);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepAnswer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    const std::string& where = transfer.where;
    Stage("no answer" + (where.empty() ? "" : " from " + where) + Within());
}

// Empty when it went through, otherwise the reason. A URL recipient is its
// own server, so its reasons do not name it again.
std::string Perform(Transfer& transfer) {
    const CURLcode code = curl_easy_perform(transfer.curl.get());
    if (code == CURLE_OK)
        return {};
    const std::string& where = transfer.where;
    if (code == CURLE_OPERATION_TIMEDOUT)
        return "no answer" + (where.empty() ? "" : " from " + where) + Within();
    long osError = 0;
    curl_easy_getinfo(transfer.curl.get(), CURLINFO_OS_ERRNO, &osError);
    if (code == CURLE_COULDNT_CONNECT && osError != 0)
        return "cannot connect" + (where.empty() ? "" : " to " + where) + ": " +
               NetHost::ErrorText(osError);
    if (transfer.reply >= "4")  // a refusal, in the server's own words
        return where + " refused: " + transfer.reply;
    return (where.empty() ? "" : where + ": ") +
           (*transfer.error ? transfer.error : curl_easy_strerror(code));
}

std::string PostJson(const std::string& url, const std::string& body) {
    if (std::string scheme; HoldsLogIn(url, scheme) && scheme == "http")
        return "refused to post a log-in over http://: it would travel in clear; use https://";
    Transfer transfer;
    Prepare(transfer, url, "http,https");
    // No "Expect: 100-continue": it costs a second with servers that ignore it.
    Owned<curl_slist> headers(curl_slist_append(nullptr, "Content-Type: application/json"));
    curl_slist_append(headers.get(), "Expect:");
    CURL* curl = transfer.curl.get();
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    const std::string reason = Perform(transfer);
    if (!reason.empty())
        return reason;
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200 && status < 300)
        return {};
    std::string answer = transfer.answer;
    std::replace_if(answer.begin(), answer.end(), [](char c) { return c >= 0 && c < ' '; }, ' ');
    return "answered " + std::to_string(status) + (answer.empty() ? "" : ": " + answer);
}

// The Interval and SendMessage the watchdog runs with, which it hands to
// the messengers it starts; by hand, those of the file.
bool Handed(std::int32_t& intervalMs, std::string& messageText) {
    const char* interval = std::getenv("SIZEGUARD_INTERVAL_MS");
    const char* end = interval ? interval + std::strlen(interval) : nullptr;
    if (!interval || std::from_chars(interval, end, intervalMs).ptr != end || interval == end)
        return false;
    const char* message = std::getenv("SIZEGUARD_SEND_MESSAGE");
    messageText = message ? message : "";
    return true;
}

std::string Alert(const std::string& url, const std::string& text, const std::string& host) {
    std::int32_t intervalMs = 0;
    std::string messageText;
    if (!Handed(intervalMs, messageText)) {
        if (std::string unreadable = ReadSettings(); !unreadable.empty())
            return unreadable;
        intervalMs = Mod_Main::IntervalMs(Setting("General", "Interval"));
        messageText = Setting("General", "SendMessage");
    }
    const Messenger::Finding finding = Messenger::ReadNotice(text, NetHost::Utf8(messageText));
    const auto now = std::chrono::system_clock::now();
    return PostJson(url, Messenger::AlertBody(finding, text, host, now,
                                              now + Messenger::AlertLifetime(intervalMs)));
}

std::string Mail(const std::string& to, const std::string& text, const std::string& host) {
    if (!Messenger::IsMailAddress(to))
        return "not a mail address";
    if (std::string unreadable = ReadSettings(); !unreadable.empty())
        return unreadable;
    std::string server = Setting("Net", "MailServer");
    std::string from = Setting("Net", "MailFrom");
    const std::string user = Setting("Net", "MailUser");
    const std::string password = Setting("Net", "MailPassword");
    server = server.empty() ? "smtp://localhost" : server;
    from = from.empty() ? "sizeguard@" + host : from;
    if (!Messenger::IsMailAddress(from))
        return "MailFrom " + from + " is not a mail address";

    Transfer transfer;
    transfer.where = Platform::WithoutSecrets(server);
    // The URL's path is the name the client greets the server with.
    const std::size_t authority = server.find("://");
    const bool named = authority != std::string::npos &&
                       server.find('/', authority + 3) != std::string::npos;
    Prepare(transfer, named ? server : server + "/" + host, "smtp,smtps");
    CURL* curl = transfer.curl.get();
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepReply);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    // STARTTLS where the server offers it, and never a password in clear,
    // whether from MailUser or the server's URL.
    std::string scheme;
    const bool logIn = !user.empty() || HoldsLogIn(server, scheme);
    curl_easy_setopt(curl, CURLOPT_USE_SSL, logIn ? CURLUSESSL_ALL : CURLUSESSL_TRY);
    if (!user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    }
    const std::string envelopeFrom = "<" + from + ">";
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, envelopeFrom.c_str());
    Owned<curl_slist> rcpt(curl_slist_append(nullptr, ("<" + to + ">").c_str()));
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt.get());

    const auto now = std::chrono::system_clock::now();
    std::random_device random;
    const std::uint64_t unique = std::uint64_t{random()} << 32 | random();
    Owned<curl_slist> headers;
    for (const std::string& header : Messenger::MailHeaders(from, to, text, now, unique))
        headers.reset(curl_slist_append(headers.release(), header.c_str()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    Owned<curl_mime> mime(curl_mime_init(curl));
    curl_mimepart* part = curl_mime_addpart(mime.get());
    const std::string body = Messenger::MailBody(text, host, now);
    curl_mime_data(part, body.data(), body.size());
    curl_mime_type(part, "text/plain; charset=utf-8");
    curl_mime_encoder(part, "quoted-printable");
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime.get());
    const std::string reason = Perform(transfer);
    // The mail is the server's once it has taken the data: the connection
    // is shut before libcurl would say QUIT and wait for its answer.
    curl_socket_t connection = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &connection) == CURLE_OK &&
        connection != CURL_SOCKET_BAD)
        shutdown(connection, 2);  // both ways, on either host
    return reason;
}

bool IsSend(const char* word) {
    const std::string_view send = "send";
    return std::equal(send.begin(), send.end(), word, word + std::strlen(word),
                      [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); });
}

}  // namespace

int main(int argc, char** argv) {
    // Started by the watchdog, Net says a failure as one bare line, which
    // the watchdog's own line carries; by hand, with its name and the
    // recipient, and on Windows also as an event.
    const bool byWatchdog = std::getenv("SIZEGUARD_INTERVAL_MS") != nullptr;
    if (argc < 3 || !IsSend(argv[1]) || !*argv[2]) {
        NetHost::SayFailure("usage: Net Send <recipient> <text>", !byWatchdog);
        return 2;
    }
    const std::string recipient = argv[2];
    // Quotes inside a notice split it into several arguments; join them again.
    std::string text;
    for (int i = 3; i < argc; ++i)
        text.append(i > 3 ? " " : "").append(argv[i]);
    const std::string host = NetHost::Name();
    const std::string utf8 = NetHost::Utf8(text);
    backstop.prefix = byWatchdog ? "" : Platform::WithoutSecrets("Net: " + recipient + ": ");
    backstop.event = !byWatchdog;
    std::string unreadable;
    const std::string target = Named(recipient, unreadable);
    // The address a name stands for stays unsaid, even where a server's
    // answer quotes it (URLs are cut to their host anyway).
    const bool named = target != recipient && target.find('@') != std::string::npos;
    auto fail = [&](std::string reason) {
        for (std::size_t at; named && (at = reason.find(target)) != std::string::npos;)
            reason.replace(at, target.size(), recipient);
        NetHost::SayFailure(backstop.prefix + Platform::WithoutSecrets(reason), !byWatchdog);
    };

    // The line on standard output is the record; for a user or "*" on POSIX
    // it is the delivery itself. One that went nowhere (output closed,
    // full, or its reader gone) is said. A recipient Net cannot deliver to
    // gets none: it would read like a delivery.
    const Messenger::Delivery delivery = Messenger::DeliveryFor(target);
    std::string reason;
    if (!unreadable.empty())
        reason = unreadable;
    else if (delivery == Messenger::Delivery::None)
        reason = "not a recipient Net delivers to (\"*\", a user name, NAME@DOMAIN or an http(s) URL)";
    else if (delivery == Messenger::Delivery::UserTerminals)
        reason = NetHost::UnknownUser(target, host);
    if (!reason.empty()) {
        fail(reason);
        return 1;
    }
    ArmBackstop();
    const std::string line = Platform::WithoutSecrets("Message from " + host + " to " + recipient + ": " + text);
    const bool terminals = delivery == Messenger::Delivery::EveryTerminal ||
                           delivery == Messenger::Delivery::UserTerminals;
    std::string unrecorded;
    const std::string unread = "cannot write on standard output" + Within() + ": nobody reads it";
    if (terminals) {
        Stage(unread);
        reason = unrecorded = NetHost::WriteRecord(line);
        Stage("the terminals did not take the notice" + Within());
        if (unrecorded.empty())
            reason = NetHost::ToTerminals(target, line, text);
    } else {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        try {
            if (delivery == Messenger::Delivery::Mail)
                reason = Mail(target, utf8, host);
            else if (delivery == Messenger::Delivery::Alert)
                reason = Alert(target, utf8, host);
            else
                reason = PostJson(target, Messenger::WebhookBody(utf8));
        } catch (const std::exception& error) {
            reason = error.what();
        }
        // Said first: the watchdog reports the first line.
        if (!reason.empty())
            fail(reason);
        Stage(unread, reason.empty() ? 0 : 1);
        unrecorded = NetHost::WriteRecord(line);
        if (!unrecorded.empty())
            fail(unrecorded);
        curl_global_cleanup();
        return reason.empty() ? 0 : 1;
    }
    if (!reason.empty())
        fail(reason);
    return reason.empty() ? 0 : 1;
}
