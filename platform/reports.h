// Report lines that cannot flood: standard error, and on Windows the event
// log too.
#pragma once

#include <string>

namespace Platform {

enum class Severity { Warning, Error };

void Say(Severity severity, const std::string& line);

// Says the line unless the same `about` was said less than a minute ago: a
// condition that may last for hours shows without flooding the journal.
// True when it was said.
bool SayEveryMinute(const std::string& about, Severity severity, const std::string& line);

// A path the host could not examine for another reason than its absence.
// The logic can only take it for missing, so the reason must be said.
void SayCannotExamine(const std::string& path, const std::string& reason);

}  // namespace Platform
