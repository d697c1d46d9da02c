// The messengers' texts from arbitrary bytes, as a hand-run Net may get
// them: the JSON bodies never throw (their text is valid UTF-8), the
// reading as UTF-8 is stable, and no byte of a notice can end a mail
// header early or make a line beyond 998 characters.
#include <cstdint>
#include <cstdlib>

#include "messenger/notice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view text = bytes.substr(0, bytes.find('\n'));
    const std::string_view messageText = bytes.substr(std::min(text.size() + 1, bytes.size()));
    const std::string utf8 = Messenger::Utf8(bytes);
    if (Messenger::Utf8(utf8) != utf8)
        std::abort();
    const Messenger::Finding finding = Messenger::ReadNotice(text, messageText);
    const Messenger::Time now{};
    Messenger::AlertBody(finding, text, messageText, now, now);
    Messenger::WebhookBody(bytes);
    for (const std::string& header : Messenger::MailHeaders("a@b", "c@d", text, now, 0)) {
        std::size_t start = 0;
        for (std::size_t end; (end = header.find_first_of("\r\n", start)) != std::string::npos;
             start = end + 2) {
            if (header.compare(end, 3, "\r\n ") != 0 || end - start > 998)
                std::abort();
        }
        if (header.size() - start > 998)
            std::abort();
    }
    return 0;
}
