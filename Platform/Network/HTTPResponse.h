#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {

// What came back for a request that reached a server, whatever its status code.
struct HTTPResponse {
    long statusCode = 0;
    // The headers of the final answer (after redirects), in the order they came.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The address that answered, after redirects.
    std::string url;

    // The first header of that name, compared without regard to letter case.
    std::optional<std::string> headerValue(const std::string& name) const;
};

}  // namespace tarnwick
