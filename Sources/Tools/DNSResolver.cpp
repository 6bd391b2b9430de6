#include "DNSResolver.h"

#include <array>
#include <memory>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace tarnwick {

std::optional<std::string> DNSResolver::resolve(const std::string& host) const {
    if (host.empty() || host.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (m_lookup) {
        return m_lookup(host);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address instead of one per socket type
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) {
        return std::nullopt;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(list, &freeaddrinfo);
    if (!list->ai_addr) {
        return std::nullopt;
    }
    std::array<char, NI_MAXHOST> text{};
    if (getnameinfo(list->ai_addr, list->ai_addrlen, text.data(), text.size(), nullptr, 0,
                    NI_NUMERICHOST) != 0) {
        return std::nullopt;
    }
    return std::string(text.data());
}

std::optional<std::string> DNSResolver::hostName(const std::string& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (address.empty() || address.find('\0') != std::string::npos ||
        getaddrinfo(address.c_str(), nullptr, &hints, &list) != 0 || !list) {
        return std::nullopt;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(list, &freeaddrinfo);
    std::array<char, NI_MAXHOST> text{};
    if (!list->ai_addr ||
        getnameinfo(list->ai_addr, list->ai_addrlen, text.data(), text.size(), nullptr, 0,
                    NI_NAMEREQD) != 0 ||
        text[0] == '\0') {
        return std::nullopt;
    }
    return std::string(text.data());
}

}  // namespace tarnwick
