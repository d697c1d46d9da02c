// Watching the targets and sending notices.
#pragma once

#include <cstdint>
#include <string>

namespace Mod_Main {

// Pass after pass over every watched path, pausing between passes. Never
// returns.
[[noreturn]] void WatchLoop();

// One pass: each watched path in order, at most one notice each.
void WatchPass();

// Starts one messenger command per recipient, in order, without waiting.
void SendNotice(const std::string& text);

}  // namespace Mod_Main
