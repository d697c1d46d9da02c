// The rules that keep messengers in check, on a simulated host whose clock
// moves only when the policy pauses or waits: minutes pass in microseconds.
#include "platform/policy.h"

#include <map>
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/platform.h"

using namespace Platform;
using Strings = std::vector<std::string>;

namespace {

struct Simulated {
    std::int64_t now = 0, rowStart = 0;
    std::map<Host::Process, std::int64_t> endsAt;  // of the messengers running
    Host::Process next = 1;
    std::size_t mostRunning = 0;
    int refusals = 0;  // of the next starts
    bool passing = true;
    std::int64_t lifetime = 0;
    std::string failure;  // how each messenger ends
    Strings lines;        // "MS: W|E line", MS counted from the row's start
} host;

void Record(const std::string& line) {
    host.lines.push_back(std::to_string(host.now - host.rowStart) + ": " + line);
}

}  // namespace

namespace Platform::Host {

std::int64_t NowMs() { return host.now; }
void Pause(std::int64_t ms) { host.now += ms; }

void WriteReport(Severity severity, const std::string& line) {
    Record((severity == Severity::Error ? "E " : "W ") + line);
}

Start StartProcess(const std::string&, int) {
    if (host.refusals > 0) {
        --host.refusals;
        return {false, 0, host.passing, "Net: why"};
    }
    host.endsAt[host.next] = host.now + host.lifetime;
    host.mostRunning = std::max(host.mostRunning, host.endsAt.size());
    return {true, host.next++, false, {}};
}

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

namespace {

std::string Command(int n) { return "Net Send ops \"" + std::to_string(n) + "\""; }

TEST(Policy, MessengersOnASimulatedHost) {
    struct Row {
        const char* name;
        int notices;
        std::int64_t every;  // ms between notices; the watching collects each second
        std::int64_t lifetime;
        const char* failure;
        int refusals;
        bool passing;
        std::int64_t until;  // ms the row runs
        Strings lines;
    };
    const std::string waiting = "W 64 messengers still running; waiting to start " + Command(64);
    const std::string refused = "W cannot start messengers for now (Net: why); trying again until they start";
    const Row rows[] = {
        {"hung messengers: the 65th start waits, said once a minute", 66, 0, 150000, "", 0, true,
         150000, {"0: " + waiting, "60000: " + waiting, "120000: " + waiting}},
        // 100, 200, 400, 800 ms, then a second at a time
        {"refusals retried with a doubling pause, said once a minute", 1, 0, 0, "", 155, true, 0,
         {"0: " + refused, "60500: " + refused, "120500: " + refused,
          "152500: W messengers start again"}},
        {"failures: ten a minute, then one line for the rest", 25, 1000, 10, "ended with status 1",
         0, true, 70000,
         [] {
             Strings lines;
             for (int n = 0; n < 10; ++n)
                 lines.push_back(std::to_string(n * 1000 + 1000) + ": E " + Command(n) +
                                 " ended with status 1");
             lines.push_back("61000: E 15 more messengers failed in the last minute; the last: " +
                             Command(24) + " ended with status 1");
             return lines;
         }()},
        {"a refusal that does not pass ends the watching", 1, 0, 0, "", 1, false, 0,
         {"0: fatal: cannot start " + Command(0) + ": Net: why"}},
    };
    for (const Row& row : rows) {
        // Each row starts ten minutes after the last, when nothing of it lingers.
        host.now = host.rowStart = host.now + 600000;
        CollectMessengers();
        host.lines.clear();
        host.mostRunning = host.endsAt.size();
        host.lifetime = row.lifetime;
        host.failure = row.failure;
        host.refusals = row.refusals;
        host.passing = row.passing;
        try {
            for (int n = 0; n < row.notices || host.now - host.rowStart < row.until;) {
                CollectMessengers();
                for (; n < row.notices && host.now - host.rowStart >= n * row.every; ++n)
                    RunCommand(Command(n), 2);
                host.now += 1000 - (host.now - host.rowStart) % 1000;
            }
        } catch (const std::runtime_error& error) {
            Record(std::string("fatal: ") + error.what());
        }
        EXPECT_EQ(host.lines, row.lines) << row.name;
        EXPECT_LE(host.mostRunning, 64u) << row.name;
    }
}

TEST(Policy, ReasonsSaidOnceAMinuteForEachPath) {
    host.now = host.rowStart = host.now + 600000;
    host.lines.clear();
    for (std::int64_t at : {0, 1000, 59999, 60000})
        for (const char* path : {"a", "b"}) {
            host.now = host.rowStart + at;
            SayCannotExamine(path, "Permission denied");
        }
    EXPECT_EQ(host.lines, (Strings{"0: W cannot examine a: Permission denied",
                                   "0: W cannot examine b: Permission denied",
                                   "60000: W cannot examine a: Permission denied",
                                   "60000: W cannot examine b: Permission denied"}));
}

}  // namespace
