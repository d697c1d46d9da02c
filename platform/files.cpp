// Watched paths examined apart from the watching, within a bound: a dead
// share may hold a look for ever, and must not hold every other path too.
#include <map>

#include "platform/host.h"
#include "platform/platform.h"

namespace Platform {

namespace {

// Examiners that have not answered within the bound, by path: a path stays
// missing without a second examination until its examiner answers.
std::map<std::string, Host::Examiner> stuck;
Host::Examiner idle = 0;
// What FileExists found, for the FileLength of the same path that follows.
std::string lastPath;
Host::Found last;
bool lastFresh = false;

void SayNoAnswer(const std::string& path) {
    SayCannotExamine(path, "no answer within " + std::to_string(ExamineBoundMs / 1000) + " s");
}

Host::Found Examine(const std::string& path) {
    const auto held = stuck.find(path);
    if (held != stuck.end()) {
        Host::Found late;
        if (!Host::Answered(held->second, 0, late)) {
            SayNoAnswer(path);
            return {};
        }
        // Its answer is old by now: look again, as on any pass.
        if (idle != 0)
            Host::EndExaminer(held->second);
        else
            idle = held->second;
        stuck.erase(held);
    }
    idle = Host::StartExamining(idle, path);
    Host::Found found;
    if (!Host::Answered(idle, ExamineBoundMs, found)) {
        stuck[path] = idle;
        idle = 0;
        SayNoAnswer(path);
        return {};
    }
    if (!found.reason.empty())
        SayCannotExamine(path, found.reason);
    return found;
}

}  // namespace

bool FileExists(const std::string& path) {
    last = Examine(path);
    lastPath = path;
    lastFresh = true;
    return last.exists;
}

std::int64_t FileLength(const std::string& path) {
    const Host::Found found = lastFresh && lastPath == path ? last : Examine(path);
    lastFresh = false;
    return found.exists ? found.length : -1;
}

// No look is due in a pause: the examiner goes, and with it the memory a
// helper holds for as long as it lives; the next pass starts another.
void PauseOneSecond() {
    if (idle != 0)
        Host::EndExaminer(idle);
    idle = 0;
    Host::Pause(1000);
}

}  // namespace Platform
