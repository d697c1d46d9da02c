// Net Send RECIPIENT TEXT...: the messenger the watchdog starts, on both
// hosts. The recipient's form chooses the delivery: terminals, mail through
// an SMTP server, or a JSON POST to Alertmanager or a chat webhook, all but
// the terminals through libcurl. Every delivery is recorded as a line on
// standard output (the journal, under systemd). It retries nothing: the
// watchdog's next pass repeats the notice.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include <curl/curl.h>

#include "messenger/net_host.h"
#include "messenger/notice.h"
#include "platform/profile_format.h"
#include "settings/settings.h"

namespace {

// Whatever a server does, a delivery ends within this.
constexpr long BoundSeconds = SIZEGUARD_NET_SECONDS;

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
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, BoundSeconds);  // connect and transfer
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Schannel (Windows) fails a certificate whose revocation list cannot
    // be fetched: behind an intercepting proxy, or with the list's server
    // down. A revoked certificate still fails. OpenSSL ignores this.
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, long{CURLSSLOPT_REVOKE_BEST_EFFORT});
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, transfer.error);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepAnswer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
}

// Empty when it went through, otherwise the reason. A URL recipient is its
// own server, so its reasons do not name it again.
std::string Perform(Transfer& transfer) {
    const CURLcode code = curl_easy_perform(transfer.curl.get());
    if (code == CURLE_OK)
        return {};
    const std::string& where = transfer.where;
    if (code == CURLE_OPERATION_TIMEDOUT)
        return "no answer" + (where.empty() ? "" : " from " + where) + " within " +
               std::to_string(BoundSeconds) + " s";
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

std::string Alert(const std::string& url, const std::string& text, const std::string& host) {
    if (std::string unreadable = ReadSettings(); !unreadable.empty())
        return unreadable;
    const std::int32_t intervalMs = Mod_Main::IntervalMs(Setting("General", "Interval"));
    const Messenger::Finding finding =
        Messenger::ReadNotice(text, NetHost::Utf8(Setting("General", "SendMessage")));
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
    transfer.where = server;
    // The URL's path is the name the client greets the server with.
    const std::size_t authority = server.find("://");
    const bool named = authority != std::string::npos &&
                       server.find('/', authority + 3) != std::string::npos;
    Prepare(transfer, named ? server : server + "/" + host, "smtp,smtps");
    CURL* curl = transfer.curl.get();
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, KeepReply);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    // STARTTLS where the server offers it, and never a password in clear.
    curl_easy_setopt(curl, CURLOPT_USE_SSL, user.empty() ? CURLUSESSL_TRY : CURLUSESSL_ALL);
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
    return Perform(transfer);
}

bool IsSend(const char* word) {
    const std::string_view send = "send";
    return std::equal(send.begin(), send.end(), word, word + std::strlen(word),
                      [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || !IsSend(argv[1]) || !*argv[2]) {
        NetHost::SayFailure("usage: Net Send <recipient> <text>");
        return 2;
    }
    const std::string recipient = argv[2];
    // Quotes inside a notice split it into several arguments; join them again.
    std::string text;
    for (int i = 3; i < argc; ++i)
        text.append(i > 3 ? " " : "").append(argv[i]);
    const std::string host = NetHost::Name();
    const std::string utf8 = NetHost::Utf8(text);

    // The line on standard output is the record; for a user or "*" on POSIX
    // it is the delivery itself. One that went nowhere (output closed,
    // full, or its reader gone) is said.
    const std::string line = "Message from " + host + " to " + recipient + ": " + text;
    std::string unrecorded;
    if (NetHost::PrepareOutput() && (std::printf("%s\n", line.c_str()) < 0 || std::fflush(stdout) != 0))
        unrecorded = std::string("cannot write on standard output: ") + std::strerror(errno);
    std::string reason = unrecorded;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    try {
        switch (Messenger::DeliveryFor(recipient)) {
        case Messenger::Delivery::EveryTerminal:
        case Messenger::Delivery::UserTerminals:
            if (unrecorded.empty())
                reason = NetHost::ToTerminals(recipient, line, text, BoundSeconds);
            break;
        case Messenger::Delivery::Mail:
            reason = Mail(recipient, utf8, host);
            break;
        case Messenger::Delivery::Alert:
            reason = Alert(recipient, utf8, host);
            break;
        case Messenger::Delivery::Webhook:
            reason = PostJson(recipient, Messenger::WebhookBody(utf8));
            break;
        }
    } catch (const std::exception& error) {
        reason = error.what();
    }
    if (!unrecorded.empty() && reason != unrecorded)  // delivered all the same, or not
        NetHost::SayFailure("Net: " + recipient + ": " + unrecorded);
    curl_global_cleanup();
    if (reason.empty())
        return 0;
    NetHost::SayFailure("Net: " + recipient + ": " + reason);
    return 1;
}
