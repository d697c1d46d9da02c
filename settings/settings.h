// The program-wide settings record and the rules that turn setting texts
// into it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Mod_Main {

struct SettingsRecord {
    // Entries 0 .. TargetCount-1 are watched; the text after the last "*"
    // is kept but never watched.
    std::vector<std::string> TargetFiles;
    std::int32_t TargetCount = 0;
    // Entries 0 .. RecipientCount-1 receive notices.
    std::vector<std::string> Recipients;
    std::int32_t RecipientCount = 0;
    std::int32_t IntervalMs = 0;
    // Last non-zero length seen per watched path. 64-bit so that files of
    // 2 GiB and more compare by their true length.
    std::vector<std::int64_t> LastSizes;
    std::string IniPath;
    std::string MessageText;
};

// Filled once by Main; afterwards only the watch loop writes LastSizes.
extern SettingsRecord Settings;

constexpr std::int32_t DefaultIntervalMs = 60000;

// The settings file's path: the directory with "\Sizeguard.ini" appended
// unchanged, whatever separator the directory ends with.
std::string SettingsFilePath(const std::string& applicationDirectory);

// TargetFile: without "*" the whole value is the one target; otherwise
// every "*" closes a target and the text after the last one is not watched.
void SetTargets(const std::string& value);

// NetSendAdr: every ";" closes a recipient; without any ";" there is none.
void SetRecipients(const std::string& value);

// Interval, in seconds, as milliseconds: 0 or no number means the
// default. Throws std::overflow_error when they do not fit in 32 bits.
std::int32_t IntervalMs(const std::string& value);
void SetInterval(const std::string& value);

// Whole one-second sleeps after a pass: IntervalMs / 1000, rounded to the
// nearest integer, a tie to the even one. Zero or less means no pause.
std::int32_t PauseSeconds(std::int32_t intervalMs);

// The number at the start of a text, read the way the original platform's
// run-time library reads it: blanks, tabs and line feeds are skipped
// anywhere; sign, digits, a decimal point and an exponent (E or D); or a
// radix prefix &H / &O. No number gives 0; a number beyond the range of a
// double gives an infinity.
double ReadNumber(const std::string& text);

// Rounds to the nearest integer, a tie to the even one. Throws
// std::overflow_error naming `subject` when the result leaves 32 bits.
std::int32_t RoundToInt32(double value, const std::string& subject);

}  // namespace Mod_Main
