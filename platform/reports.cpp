#include "platform/reports.h"

#include <cstdint>
#include <map>

#include "platform/host.h"
#include "platform/platform.h"
#include "platform/without_secrets.h"

namespace Platform {

namespace {

constexpr std::int64_t Minute = 60000;

std::map<std::string, std::int64_t> saidAt;

}  // namespace

// Every line, since a recipient may be a URL whose path is a token.
void Say(Severity severity, const std::string& line) {
    Host::WriteReport(severity, WithoutSecrets(line));
}

bool SayEveryMinute(const std::string& about, Severity severity, const std::string& line) {
    const std::int64_t now = Host::NowMs();
    const auto said = saidAt.find(about);
    if (said != saidAt.end() && now - said->second < Minute)
        return false;
    saidAt[about] = now;
    Say(severity, line);
    return true;
}

void SayCannotExamine(const std::string& path, const std::string& reason) {
    SayEveryMinute("examine " + path, Severity::Warning, "cannot examine " + path + ": " + reason);
}

void Warn(const std::string& line) {
    Say(Severity::Warning, line);
}

}  // namespace Platform
