// The page of `halvixctl serve`: static HTML, CSS and script compiled into the binary, so it
// needs no build step and fetches nothing from elsewhere.
#pragma once

#include <string>
#include <vector>

namespace halvixctl::serve {

struct Asset {
    std::string path;    ///< URL path ("/" for the page)
    std::string type;    ///< Content-Type
    std::string content;
};

/// Every file of the page.
const std::vector<Asset>& assets();

} // namespace halvixctl::serve
