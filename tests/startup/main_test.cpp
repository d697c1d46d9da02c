// What start-up says of a value the reader cuts: only a true cut, and what it loses.
#include "startup/main.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

using Fake::host;

namespace {

TEST(Startup, SaysWhatACutLoses) {
    const std::string v1023(1023, 'v');
    struct Case { std::string targetFile; std::string said; };
    const Case cases[] = {
        {v1023, ""},  // exactly what fits: nothing lost
        {v1023 + std::string(40, 'w'), "TargetFile is longer than 1023 characters and is cut there: 40 "
         "characters are lost, from \"" + std::string(40, 'w') + "\"; the first 1023 are watched as one path"},
        {v1023 + std::string(41, 'w'), "TargetFile is longer than 1023 characters and is cut there: 41 "
         "characters are lost, from \"" + std::string(40, 'w') + "...\"; the first 1023 are watched as one path"},
        {"v*" + std::string(1021, 'x') + "y*", "TargetFile is longer than 1023 characters and is cut there: 2 "
         "characters are lost, from \"y*\"; 1 file is watched, and not the text after the last \"*\": \"" +
         std::string(1021, 'x') + "\""},
    };
    for (const Case& c : cases) {
        Fake::Reset();
        host.settings = {{"TargetFile", c.targetFile}};
        host.files = {{v1023, 1}, {"v", 1}};
        EXPECT_THROW(Mod_Main::Main(), Fake::Ended);  // no recipients
        EXPECT_EQ(host.said, c.said.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.said})
            << c.targetFile.size();
    }
}

}  // namespace
