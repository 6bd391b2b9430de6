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
// up with the WhoIs client it was given, or one of its own (no top-level-domain override). The
// completion is called exactly once: at once on the calling thread when the host does not resolve
// or the answer is cached or local, else on the main queue. Callers that must not block run it on
// `internalQueue`.
class DomainInfoProvider {
public:
    using Completion = std::function<void(std::optional<DomainInfo>)>;

    DomainInfoProvider();
    // `geoIPService` is the base URL of the geo-IP service.
    explicit DomainInfoProvider(std::string geoIPService, DNSResolver resolver = DNSResolver());
    // Through `whois`, whose owner may cancel the lookups in flight.
    explicit DomainInfoProvider(std::shared_ptr<const WhoIs> whois,
                                DNSResolver resolver = DNSResolver());

    void domainInfo(const std::string& host, Completion completion) const;

    const std::shared_ptr<DispatchQueue>& internalQueue() const { return m_internalQueue; }

private:
    std::shared_ptr<const WhoIs> m_whois;
    DNSResolver m_dnsResolver;
    std::shared_ptr<DispatchQueue> m_internalQueue;
};

}  // namespace tarnwick
