#include <gtest/gtest.h>

#include "platform/without_secrets.h"

// "_" in what lines say stands for the host's ellipsis.
TEST(WithoutSecrets, UrlsSayOnlySchemeHostAndPort) {
    const std::string ellipsis = Platform::WithoutSecrets("a://h/x").substr(6);
    for (auto [text, said] : std::initializer_list<std::pair<std::string, std::string>>{
             {"https://chat.example.com/hooks/xoxb-123", "https://chat.example.com/_"},
             {"https://u:pw@chat.example.com:8443/x?token=1#f", "https://_@chat.example.com:8443/_?_"},
             {"smtp://user:p@ss@mail.example.com:587", "smtp://_@mail.example.com:587"},
             {"http://h/?token=1 http://h#x HTTPS://H:1/", "http://h/?_ http://h#_ HTTPS://H:1/"},
             {"http://am1:9093/api/v2/alerts", "http://am1:9093/api/v2/alerts"},
             {"http://am1/secret/api/v2/alerts?k=1", "http://am1/_/api/v2/alerts?_"},
             {"http://[::1]:9093/api/v2/alerts https://[fe80::1%25eth0]/hooks/t",
              "http://[::1]:9093/api/v2/alerts https://[fe80::1%25eth0]/_"},
             // In lines: a recipient before its reason, a command line, URLs in marks.
             {"Net: https://h/hooks/t: answered 500: x", "Net: https://h/_: answered 500: x"},
             {"Net Send https://h/t \"File does not exist /x\"", "Net Send https://h/_ \"File does not exist /x\""},
             {"<smtp://a:b@m/x>, 'http://h/t' (http://h:80/t", "<smtp://_@m/_>, 'http://h/_' (http://h:80/_"},
             {"a0://h/p z9://h/p A+://h/p Z-.://h/p 1+://h/p", "a0://h/_ z9://h/_ A+://h/_ Z-.://h/_ 1+://h/p"},
             {"Net: http://am:9093/api/v2/alerts: answered 400, see http://h/x:",
              "Net: http://am:9093/api/v2/alerts: answered 400, see http://h/_:"},
             {"File does not exist ://x C:\\a b/c@d", "File does not exist ://x C:\\a b/c@d"},  // no scheme, no URL
         }) {
        for (std::size_t at; (at = said.find('_')) != std::string::npos;)
            said.replace(at, 1, ellipsis);
        EXPECT_EQ(said, Platform::WithoutSecrets(text)) << text;
        EXPECT_EQ(said, Platform::WithoutSecrets(said)) << "said twice: " << text;
    }
}
