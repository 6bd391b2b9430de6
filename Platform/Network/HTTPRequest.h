#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// One HTTP request with its limits. Every request ends: a time-out of zero or less means the
// default of 60 seconds, and an answer larger than `maximumResponseSize` fails instead of filling
// memory.
struct HTTPRequest {
    enum class Method { get, post };

    struct Header {
        std::string name;
        std::string value;
    };

    struct Credentials {
        std::string user;
        std::string password;
    };

    static constexpr std::chrono::milliseconds defaultTimeout{60'000};
    static constexpr std::size_t defaultMaximumResponseSize = 16 * 1024 * 1024;

    std::string url;
    Method method = Method::get;
    std::vector<Header> headers;
    // Sent as is with a POST; the caller names its type with a "Content-Type" header.
    std::string body;
    std::chrono::milliseconds timeout = defaultTimeout;
    // Sent with HTTP basic authentication when present.
    std::optional<Credentials> basicAuthentication;
    std::size_t maximumResponseSize = defaultMaximumResponseSize;
    bool followsRedirects = true;
};

}  // namespace tarnwick
