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
// Of a messenger's standard error only the start of the first line is kept,
// its reason; the rest is read and dropped, so that it can neither block on
// a full pipe nor grow the watchdog. Read at most this much at a time, so
// that a messenger that writes without end cannot hold the watching either.
constexpr std::size_t MostReasonBytes = 300;
constexpr int MostReadsAtOnce = 64;

struct Messenger {
    Host::Process process;
    std::intptr_t errors;
    std::string commandLine;
    std::string reason;
    bool reasonEnded = false;
};
// Started and not yet seen to end: each is collected, so that none is left
// a zombie and no failed delivery goes unsaid.
std::vector<Messenger> running;

std::map<std::string, std::int64_t> saidAt;

// Examiners that have not answered within the bound, by path: a path stays
// missing without a second examination until its examiner answers.
std::map<std::string, Host::Examiner> stuck;
Host::Examiner idle = 0;
// What FileExists found, for the FileLength of the same path that follows.
std::string lastPath;
Host::Found last;
bool lastFresh = false;

void SayNoAnswer(const std::string& path) {
    SayCannotExamine(path, "no answer within " + std::to_string(ExamineBoundMs / 1000) + " s");
}

Host::Found Examine(const std::string& path) {
    const auto held = stuck.find(path);
    if (held != stuck.end()) {
        Host::Found late;
        if (!Host::Answered(held->second, 0, late)) {
            SayNoAnswer(path);
            return {};
        }
        // Its answer is old by now: look again, as on any pass.
        if (idle != 0)
            Host::EndExaminer(held->second);
        else
            idle = held->second;
        stuck.erase(held);
    }
    idle = Host::StartExamining(idle, path);
    Host::Found found;
    if (!Host::Answered(idle, ExamineBoundMs, found)) {
        stuck[path] = idle;
        idle = 0;
        SayNoAnswer(path);
        return {};
    }
    if (!found.reason.empty())
        SayCannotExamine(path, found.reason);
    return found;
}

void Drain(Messenger& messenger) {
    char buffer[4096];
    for (int reads = 0; reads < MostReadsAtOnce; ++reads) {
        const std::size_t n = Host::ReadErrors(messenger.errors, buffer, sizeof buffer);
        if (n == 0)
            return;
        for (std::size_t i = 0; i < n && !messenger.reasonEnded; ++i) {
            messenger.reasonEnded = buffer[i] == '\n' || messenger.reason.size() == MostReasonBytes;
            if (buffer[i] != '\n')
                messenger.reason += messenger.reasonEnded ? "..." : std::string(1, buffer[i]);
        }
    }
}

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
                                 (failures.unsaid == 1 ? " more messenger" : " more messengers") +
                                 " failed in the last minute; the last: " +
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

bool FileExists(const std::string& path) {
    last = Examine(path);
    lastPath = path;
    lastFresh = true;
    return last.exists;
}

std::int64_t FileLength(const std::string& path) {
    const Host::Found found = lastFresh && lastPath == path ? last : Examine(path);
    lastFresh = false;
    return found.exists ? found.length : -1;
}

void HandToMessengers(std::int32_t intervalMs, const std::string& messageText) {
    Host::SetEnvironment("SIZEGUARD_INTERVAL_MS", std::to_string(intervalMs));
    Host::SetEnvironment("SIZEGUARD_SEND_MESSAGE", messageText);
}

void CollectMessengers() {
    for (auto it = running.begin(); it != running.end();) {
        std::string failure;
        const bool ended = Host::Ended(it->process, failure);
        Drain(*it);  // after Ended: all an ended messenger wrote is there
        if (!ended) {
            ++it;
            continue;
        }
        Host::CloseErrors(it->errors);
        std::string& reason = it->reason;
        if (!reason.empty() && reason.back() == '\r')
            reason.pop_back();
        if (!failure.empty())
            SayFailure(it->commandLine + " " + failure + (reason.empty() ? "" : ": " + reason));
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
            running.push_back({start.process, start.errors, commandLine, {}, false});
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
