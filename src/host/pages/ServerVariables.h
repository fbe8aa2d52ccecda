#pragma once
// The server variables of a request, as pages read them from
// Request.ServerVariables: what the server knows of the request, the
// visitor and itself, and each header as HTTP_ and its name.

#include <filesystem>

#include "host/pages/PageRequest.h"

namespace kelvane::host {

// The variables of `request` for the page file `page` of the site at `root`,
// names in capitals, in the order a page that lists them sees them: the
// server's own, then one HTTP_ variable for each header. What the server
// does not have (a login, a client certificate) is there, empty.
Fields ServerVariables(const PageRequest& request, const std::filesystem::path& root,
                       const std::filesystem::path& page);

}  // namespace kelvane::host
