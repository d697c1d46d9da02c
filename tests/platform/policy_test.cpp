// The rules that keep messengers and looks in check, on a simulated host whose
// clock moves only when the policy pauses or waits: minutes pass in microseconds.
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
    std::string errors;   // what each writes on standard error
    std::map<std::intptr_t, std::string> unread;  // of the messengers not collected
    Strings lines;        // "MS: W|E line", MS counted from the row's start
    std::string hung;  // the path whose looks answer only at hungUntil
    std::int64_t hungUntil = 0;
    int looks = 0;
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

// An examiner is the time it answers.
Examiner StartExamining(Examiner, const std::string& path) {
    ++host.looks;
    return path == host.hung ? host.hungUntil : host.now;
}

bool Answered(Examiner examiner, std::int64_t ms, Found& found) {
    host.now = std::min(host.now + ms, std::max(host.now, examiner));
    found.length = 7;
    return found.exists = examiner <= host.now;
}

void EndExaminer(Examiner) {}

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
        std::string errors;
        int refusals;
        bool passing;
        std::int64_t until;  // ms the row runs
        Strings lines;
        std::size_t mostRunning;
    };
    // Failures in a minute, said with the start of their standard error.
    const auto failed = [](int count, const std::string& reason) {
        Strings lines;
        for (int n = 0; n < count && n < 10; ++n)
            lines.push_back(std::to_string(n * 1000 + 1000) + ": E " + Command(n) +
                            " ended with status 1" + reason);
        return lines;
    };
    const std::string waiting = "W 64 messengers still running; waiting to start " + Command(64);
    const std::string refused = "W cannot start messengers for now (Net: why); trying again until they start";
    const Row rows[] = {
        {"hung messengers: the 65th start waits, said once a minute", 66, 0, 150000, "", "", 0, true,
         150000, {"0: " + waiting, "60000: " + waiting, "120000: " + waiting}, 64},
        {"ended messengers collected before each start", 100, 0, 0, "", "", 0, true, 0, {}, 1},
        // 100, 200, 400, 800 ms, then a second at a time
        {"refusals retried with a doubling pause, said once a minute", 1, 0, 0, "", "", 155, true, 0,
         {"0: " + refused, "60500: " + refused, "120500: " + refused,
          "152500: W messengers start again"}, 1},
        {"failures: ten a minute, then one line for the rest", 25, 1000, 10, "ended with status 1",
         "why\r\nmore\n" + std::string(5000, 'x'), 0, true, 70000,
         [&] {
             Strings lines = failed(25, ": why");
             lines.push_back("61000: E 15 more messengers failed in the last minute; the last: " +
                             Command(24) + " ended with status 1: why");
             return lines;
         }(), 1},
        {"a minute of ten failures ends without a sum", 10, 1000, 10, "ended with status 1", "", 0,
         true, 70000, failed(10, ""), 1},
        {"a minute of eleven ends with one more, the reason cut", 11, 1000, 10, "ended with status 1",
         std::string(400, 'r'), 0, true, 70000,
         [&] {
             Strings lines = failed(11, ": " + std::string(300, 'r') + "...");
             lines.push_back("61000: E 1 more messenger failed in the last minute; the last: " +
                             Command(10) + " ended with status 1: " + std::string(300, 'r') + "...");
             return lines;
         }(), 1},
        {"a refusal that does not pass ends the watching", 1, 0, 0, "", "", 1, false, 0,
         {"0: fatal: cannot start " + Command(0) + ": Net: why"}, 0},
    };
    for (const Row& row : rows) {
        // Each row starts ten minutes after the last, when nothing of it lingers.
        host.now = host.rowStart = host.now + 600000;
        CollectMessengers();
        host.lines.clear();
        host.mostRunning = host.endsAt.size();
        host.lifetime = row.lifetime;
        host.failure = row.failure;
        host.errors = row.errors;
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
        EXPECT_EQ(host.mostRunning, row.mostRunning) << row.name;
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

TEST(Policy, AHungPathMissingAtOnceUntilItAnswers) {
    host.now = host.rowStart = host.now + 600000;
    host.lines.clear();
    host.hung = "hung", host.hungUntil = host.now + 200500, host.looks = 0;
    std::string found;  // a pass a second: the hung path, then another
    for (int pass = 0; pass < 240; ++pass, host.now += 1000)
        for (const char* path : {"hung", "ok"})
            found += FileExists(path) && FileLength(path) == 7 ? "+" : "-";
    const std::int64_t b = ExamineBoundMs;
    const std::string said = ": W cannot examine hung: no answer within " + std::to_string(b / 1000) + " s";
    EXPECT_EQ(host.lines, (Strings{std::to_string(b) + said, std::to_string(b + 60000) + said,
                                   std::to_string(b + 120000) + said, std::to_string(b + 180000) + said}));
    // Missing at once while it hangs, with no second look: only the first pass waited.
    const int hanging = static_cast<int>((200500 - b) / 1000) + 1;
    std::string expected;
    for (int pass = 0; pass < 240; ++pass)
        expected += pass < hanging ? "-+" : "++";
    EXPECT_EQ(found, expected);
    EXPECT_EQ(host.looks, 2 * 240 - (hanging - 1));
    host.hung.clear();
}

}  // namespace
