// How lines say URLs: a webhook's URL is its password, and a mail server's
// may hold one, while the journal and the event log are read by many.
#pragma once

#include <string>
#include <string_view>

namespace Platform {

// The text with each SCHEME://... in it cut to its scheme, host and port:
// user info, the path and the query are replaced by "…" ("..." on Windows,
// which every code page can say). Alertmanager's path /api/v2/alerts stays,
// since it says what the recipient is. A URL ends at a blank, a quote, an
// angle bracket or a colon before a blank ("RECIPIENT: reason").
std::string WithoutSecrets(std::string_view text);

}  // namespace Platform
