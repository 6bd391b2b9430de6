#pragma once

#include "DNSResolver.h"
#include "Dispatch/DispatchQueue.h"
#include "DomainInfo.h"
#include "WhoIs.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// Turns a host name into its country: resolves it on the calling thread, then looks the address
// up with its own WhoIs client (no top-level-domain override). The completion is called exactly
// once: at once on the calling thread when the host does not resolve or the answer is cached or
// local, else on the main queue. Callers that must not block run it on `internalQueue`.
class DomainInfoProvider {
public:
    using Completion = std::function<void(std::optional<DomainInfo>)>;

    DomainInfoProvider();
    // `geoIPService` is the base URL of the geo-IP service.
    explicit DomainInfoProvider(std::string geoIPService, DNSResolver resolver = DNSResolver());

    void domainInfo(const std::string& host, Completion completion) const;

    const std::shared_ptr<DispatchQueue>& internalQueue() const { return m_internalQueue; }

private:
    WhoIs m_whois;
    DNSResolver m_dnsResolver;
    std::shared_ptr<DispatchQueue> m_internalQueue;
};

}  // namespace tarnwick
