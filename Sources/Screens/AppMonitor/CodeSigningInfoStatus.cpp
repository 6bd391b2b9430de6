#include "CodeSigningInfoStatus.h"

#include "CertificateOriginProvider.h"

namespace tarnwick {

CodeSigningInfoStatus::CodeSigningInfoStatus(const CodeSignatureInfo& info)
    : m_teamId(info.teamIdentifier()) {
    const CertificateOriginProvider provider;
    for (const auto& certificate : info.certificates) {
        auto countries = provider.certificateOriginsFromCertificate(certificate);
        m_certificatesOrigins.insert(m_certificatesOrigins.end(), countries.begin(),
                                     countries.end());
    }
}

}  // namespace tarnwick
