#include "platform/policy.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/without_secrets.h"

namespace Platform {

namespace {

constexpr std::int64_t Minute = 60000;

// A hung messenger must slow the watching, not fill the process table; one
// wait on Windows watches at most 64 processes.
constexpr std::size_t MostRunning = 64;
// Failed deliveries said one by one in a minute; beyond, one line sums up.
constexpr int MostFailuresSaid = 10;

struct Messenger {
    Host::Process process;
    std::string commandLine;
};
// Started and not yet seen to end: each is collected, so that none is left
// a zombie and no failed delivery goes unsaid.
std::vector<Messenger> running;

std::map<std::string, std::int64_t> saidAt;

// The minute that began with a failure said: how many were said in it, and
// how many more failed, the last of them named.
struct {
    std::int64_t began = -1;
    int said = 0;
    int unsaid = 0;
    std::string last;
} failures;

void EndFailureMinuteIfOver() {
    if (failures.began < 0 || Host::NowMs() - failures.began < Minute)
        return;
    if (failures.unsaid > 0)
        Say(Severity::Error, std::to_string(failures.unsaid) +
                                 " more messengers failed in the last minute; the last: " +
                                 failures.last);
    failures = {};
}

void SayFailure(const std::string& line) {
    EndFailureMinuteIfOver();
    if (failures.began < 0)
        failures.began = Host::NowMs();
    if (failures.said < MostFailuresSaid) {
        ++failures.said;
        Say(Severity::Error, line);
    } else {
        ++failures.unsaid;
        failures.last = line;
    }
}

std::vector<Host::Process> RunningProcesses() {
    std::vector<Host::Process> processes;
    for (const Messenger& messenger : running)
        processes.push_back(messenger.process);
    return processes;
}

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

void CollectMessengers() {
    for (auto it = running.begin(); it != running.end();) {
        std::string failure;
        if (!Host::Ended(it->process, failure)) {
            ++it;
            continue;
        }
        if (!failure.empty())
            SayFailure(it->commandLine + " " + failure);
        it = running.erase(it);
    }
    EndFailureMinuteIfOver();
}

void RunCommand(const std::string& commandLine, int style) {
    CollectMessengers();
    while (running.size() >= MostRunning) {
        SayEveryMinute("room", Severity::Warning,
                       std::to_string(running.size()) +
                           " messengers still running; waiting to start " + commandLine);
        Host::WaitForAnyEnd(RunningProcesses(), 1000);
        CollectMessengers();
    }
    // A start refused for want of resources, or while the messenger's file
    // is being replaced, is a passing refusal: the notice goes out late
    // rather than not at all.
    std::int64_t pause = 100;
    bool refusalSaid = false;
    for (;;) {
        const Host::Start start = Host::StartProcess(commandLine, style);
        if (start.started) {
            running.push_back({start.process, commandLine});
            break;
        }
        if (!start.passing)
            throw std::runtime_error(
                WithoutSecrets("cannot start " + commandLine + ": " + start.reason));
        refusalSaid |= SayEveryMinute("refused", Severity::Warning,
                                      "cannot start messengers for now (" + start.reason +
                                          "); trying again until they start");
        Host::Pause(pause);
        pause = std::min<std::int64_t>(pause * 2, 1000);
        CollectMessengers();
    }
    if (refusalSaid)
        Say(Severity::Warning, "messengers start again");
}

}  // namespace Platform
