#include <gtest/gtest.h>

#include "platform/without_secrets.h"

namespace {

#ifdef _WIN32
const std::string E = "...";
#else
const std::string E = "\xE2\x80\xA6";
#endif

TEST(WithoutSecrets, UrlsSayOnlySchemeHostAndPort) {
    const std::pair<std::string, std::string> cases[] = {
        {"https://chat.example.com/hooks/xoxb-123", "https://chat.example.com/" + E},
        {"https://u:pw@chat.example.com:8443/x?token=1#f", "https://" + E + "@chat.example.com:8443/" + E + "?" + E},
        {"smtp://user:p@ss@mail.example.com:587", "smtp://" + E + "@mail.example.com:587"},
        {"http://h/?token=1", "http://h/?" + E},
        {"http://h#x", "http://h#" + E},
        {"http://am1:9093/api/v2/alerts", "http://am1:9093/api/v2/alerts"},
        {"http://am1/secret/api/v2/alerts?k=1", "http://am1/" + E + "/api/v2/alerts?" + E},
        {"http://[::1]:9093/api/v2/alerts", "http://[::1]:9093/api/v2/alerts"},
        {"https://[fe80::1%25eth0]/hooks/t", "https://[fe80::1%25eth0]/" + E},
        {"HTTPS://H:1/", "HTTPS://H:1/"},
        // In lines: a recipient before its reason, a command line, several URLs.
        {"Net: https://h/hooks/t: answered 500: x", "Net: https://h/" + E + ": answered 500: x"},
        {"Net Send https://h/t \"No Changes on file /x\" ended with status 1",
         "Net Send https://h/" + E + " \"No Changes on file /x\" ended with status 1"},
        {"<smtp://a:b@m/x>, 'http://h/t' and (http://h:80/t", "<smtp://" + E + "@m/" + E + ">, 'http://h/" +
         E + "' and (http://h:80/" + E},
        // No scheme, no URL.
        {"File does not exist ://x C:\\a b/c@d", "File does not exist ://x C:\\a b/c@d"},
    };
    for (const auto& [text, said] : cases) {
        EXPECT_EQ(said, Platform::WithoutSecrets(text)) << text;
        EXPECT_EQ(said, Platform::WithoutSecrets(said)) << "said twice: " << text;
    }
}

}  // namespace
