#include "platform/simulated_host.h"

#include <algorithm>

namespace Sim {

Simulated host;

void Record(const std::string& line) {
    host.lines.push_back(std::to_string(host.now - host.rowStart) + ": " + line);
}

void NewRow() {
    host.now = host.rowStart = host.now + 600000;
    host.lines.clear();
}

}  // namespace Sim

using Sim::host;
using Sim::Record;

namespace Platform::Host {

std::int64_t NowMs() { return host.now; }
void Pause(std::int64_t ms) { host.now += ms; }

void WriteReport(Severity severity, const std::string& line) {
    Record((severity == Severity::Error ? "E " : "W ") + line);
}

Start StartProcess(const std::string&, int) {
    if (host.refusals > 0) {
        --host.refusals;
        return {false, 0, 0, host.passing, "Net: why"};
    }
    host.endsAt[host.next] = host.now + host.lifetime;
    host.mostRunning = std::max(host.mostRunning, host.endsAt.size());
    host.unread[host.next] = host.errors;
    return {true, host.next, host.next++, false, {}};
}

std::size_t ReadErrors(std::intptr_t errors, char* buffer, std::size_t size) {
    std::string& unread = host.unread.at(errors);
    const std::size_t n = unread.copy(buffer, std::min<std::size_t>(size, 1000));
    unread.erase(0, n);
    return n;
}

void CloseErrors(std::intptr_t errors) { host.unread.erase(errors); }

void SetEnvironment(const std::string&, const std::string&) {}

// An examiner is the time it answers (a simulated clock stays far below 2^31 ms).
Examiner StartExamining(Examiner examiner, const std::string& path) {
    ++host.looks, host.examiners += examiner == 0;
    return static_cast<Examiner>(path == host.hung ? host.hungUntil : host.now);
}

bool Answered(Examiner examiner, std::int64_t ms, Found& found) {
    host.now = std::min(host.now + ms, std::max<std::int64_t>(host.now, examiner));
    found.length = 7;
    return found.exists = examiner <= host.now;
}

void EndExaminer(Examiner) { --host.examiners; }

bool Ended(Process process, std::string& failure) {
    if (host.endsAt.at(process) > host.now)
        return false;
    host.endsAt.erase(process);
    failure = host.failure;
    return true;
}

void WaitForAnyEnd(const std::vector<Process>& processes, std::int64_t ms) {
    std::int64_t first = INT64_MAX;
    for (Process process : processes)
        first = std::min(first, host.endsAt.at(process));
    host.now = std::min(host.now + ms, std::max(host.now, first));
}

}  // namespace Platform::Host
