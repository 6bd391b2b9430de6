#include "CertificateOriginProvider.h"

#include "CodeSigning/CertificateCountries.h"

namespace tarnwick {

std::vector<std::string> CertificateOriginProvider::certificateOriginsFromCertificate(
    std::span<const std::uint8_t> derCertificate) const {
    auto countries = certificateSubjectCountries(derCertificate);
    return countries ? std::move(*countries) : std::vector<std::string>{};
}

}  // namespace tarnwick
