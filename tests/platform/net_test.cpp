// The messenger stand-in shipped for POSIX hosts.
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include "process.h"

namespace {

TEST(NetStandIn, PrintsTheNoticeLiterallyAndRunsNothing) {
    const std::string dir = Sandbox::TempDir();
    utsname host;
    uname(&host);
    const std::string hostile = "File does not exist /tmp/$(touch made) `touch made2`; \"q\" 'r' \\ $HOME %s";
    struct Case { std::vector<std::string> arguments; int status; std::string out; };
    const Case cases[] = {
        {{"Send", "nobody-here", hostile}, 0,
         std::string("Message from ") + host.nodename + " to nobody-here: " + hostile + "\n"},
        {{"sEnD", "ops", "split", "text"}, 0,
         std::string("Message from ") + host.nodename + " to ops: split text\n"},
        {{"Receive", "ops", "x"}, 2, ""},
        {{"Send"}, 2, ""},
        {{}, 2, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {NET_SCRIPT};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const Sandbox::Outcome outcome = Sandbox::Run(argv, dir);
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, c.status == 2 ? "usage: Net Send <recipient> <text>\n" : "");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    Sandbox::Cleanup(dir);
}

}  // namespace
