// Whether a person can see the Windows program's message boxes.
#pragma once

namespace Platform {

// False in a window station that is not visible (session 0, a service's),
// where a box would wait for ever for an OK that never comes. True when it
// cannot be told: a box is what the program was made to show.
bool BoxesSeen();

}  // namespace Platform
