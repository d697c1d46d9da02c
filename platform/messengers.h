// The messengers started and not yet seen to end.
#pragma once

namespace Platform {

// Collects the messengers that have ended, saying how each failed. Hosts
// call it while the watching pauses.
void CollectMessengers();

}  // namespace Platform
