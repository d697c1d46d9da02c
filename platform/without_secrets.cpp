#include "platform/without_secrets.h"

namespace Platform {

namespace {

#ifdef _WIN32
constexpr std::string_view Elided = "...";
#else
constexpr std::string_view Elided = "\xE2\x80\xA6";
#endif
constexpr std::string_view AlertsPath = "/api/v2/alerts";

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSchemeCharacter(char c) {
    return IsLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::size_t UrlEnd(std::string_view text, std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\'' || c == '<' ||
            c == '>' || (c == ':' && (i + 1 == text.size() || text[i + 1] == ' ')))
            return i;
    }
    return text.size();
}

// `url` begins with its scheme, which ends at `mark`, the "://".
std::string Said(std::string_view url, std::size_t mark) {
    std::string said(url.substr(0, mark + 3));
    std::string_view rest = url.substr(mark + 3);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos)
        said.append(Elided).append("@");
    said.append(authority.substr(at == std::string_view::npos ? 0 : at + 1));
    rest.remove_prefix(authority.size());
    const std::string_view path = rest.substr(0, rest.find_first_of("?#"));
    if (path == AlertsPath || path == "/")
        said.append(path);
    else if (path.ends_with(AlertsPath))
        said.append("/").append(Elided).append(AlertsPath);
    else if (!path.empty())
        said.append("/").append(Elided);
    rest.remove_prefix(path.size());
    if (!rest.empty())
        said.append(1, rest.front()).append(Elided);
    return said;
}

}  // namespace

std::string WithoutSecrets(std::string_view text) {
    std::string said;
    std::size_t done = 0;
    std::size_t mark;
    for (std::size_t from = 0; (mark = text.find("://", from)) != std::string_view::npos;) {
        from = mark + 3;
        std::size_t start = mark;
        while (start > done && IsSchemeCharacter(text[start - 1]))
            --start;
        while (start < mark && !IsLetter(text[start]))
            ++start;
        if (start == mark)
            continue;  // no scheme: not a URL
        from = UrlEnd(text, from);
        said.append(text.substr(done, start - done))
            .append(Said(text.substr(start, from - start), mark - start));
        done = from;
    }
    return said.append(text.substr(done));
}

}  // namespace Platform
