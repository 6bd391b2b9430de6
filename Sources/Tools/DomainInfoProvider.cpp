#include "DomainInfoProvider.h"

#include "BundleUtilities.h"
#include "RequiredDependency.h"

#include <utility>

namespace tarnwick {

DomainInfoProvider::DomainInfoProvider() : DomainInfoProvider(WhoIs::defaultService()) {}

DomainInfoProvider::DomainInfoProvider(std::string geoIPService, DNSResolver resolver)
    : DomainInfoProvider(std::make_shared<const WhoIs>(std::move(geoIPService)),
                         std::move(resolver)) {}

DomainInfoProvider::DomainInfoProvider(std::shared_ptr<const WhoIs> whois, DNSResolver resolver)
    : m_whois(requiredDependency(std::move(whois), "DomainInfoProvider", "whois"))
    , m_dnsResolver(std::move(resolver))
    , m_internalQueue(DispatchQueue::create(bundleQualifiedLabel("domain-info"),
                                            QualityOfService::unspecified)) {}

void DomainInfoProvider::domainInfo(const std::string& host, Completion completion) const {
    const auto address = m_dnsResolver.resolve(host);
    if (!address) {
        completion(std::nullopt);
        return;
    }
    m_whois->lookup(
        *address, std::nullopt,
        [host, completion = std::move(completion)](std::optional<WhoIs::Response> answer) {
            if (!answer) {
                completion(std::nullopt);
                return;
            }
            completion(DomainInfo{host, answer->ip, answer->country});
        });
}

}  // namespace tarnwick
