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

// Whole one-second sleeps after a pass: IntervalMs / 1000, rounded to the
// nearest integer, a tie to the even one. Zero or less means no pause.
std::int32_t PauseSeconds(std::int32_t intervalMs);

// Starts one messenger command per recipient, in order, without waiting.
void SendNotice(const std::string& text);

}  // namespace Mod_Main
