// The rules that keep messengers in check, on the simulated host.
#include "platform/messengers.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/reports.h"
#include "platform/simulated_host.h"

using namespace Platform;
using Sim::host;
using Sim::Strings;

namespace {

std::string Command(int n) { return "Net Send ops \"" + std::to_string(n) + "\""; }

TEST(Messengers, OnASimulatedHost) {
    struct Row {
        const char* name;
        int notices;
        std::int64_t every, lifetime;  // ms between notices (collected each second), and each one's life
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
        Sim::NewRow();
        CollectMessengers();
        host.lines.clear();
        host.mostRunning = host.endsAt.size();
        host.lifetime = row.lifetime, host.failure = row.failure, host.errors = row.errors;
        host.refusals = row.refusals, host.passing = row.passing;
        try {
            for (int n = 0; n < row.notices || host.now - host.rowStart < row.until;) {
                CollectMessengers();
                for (; n < row.notices && host.now - host.rowStart >= n * row.every; ++n)
                    RunCommand(Command(n), MinimizedFocus);
                host.now += 1000 - (host.now - host.rowStart) % 1000;
            }
        } catch (const std::runtime_error& error) {
            Sim::Record(std::string("fatal: ") + error.what());
        }
        EXPECT_EQ(host.lines, row.lines) << row.name;
        EXPECT_EQ(host.mostRunning, row.mostRunning) << row.name;
    }
}

}  // namespace
