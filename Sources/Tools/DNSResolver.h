#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tarnwick {

// Resolves a host name to one numeric address with the system's resolver. It blocks the calling
// thread until the resolver is done (the resolver's own time-outs bound the wait), so callers run
// it off the main thread.
class DNSResolver {
public:
    using Lookup = std::function<std::optional<std::string>(const std::string& host)>;

    DNSResolver() = default;
    // Answers from `lookup` instead of the system's resolver, so tests ask no name server.
    // Used for testing only
    explicit DNSResolver(Lookup lookup) : m_lookup(std::move(lookup)) {}

    // The first address the resolver lists, IPv4 or IPv6, as numeric text; none when the name
    // does not resolve.
    std::optional<std::string> resolve(const std::string& host) const;
    // The name the system's resolver gives for a numeric address (a reverse lookup); none when
    // there is none or the text is no address. Blocks like `resolve`.
    static std::optional<std::string> hostName(const std::string& address);

private:
    Lookup m_lookup;
};

}  // namespace tarnwick
