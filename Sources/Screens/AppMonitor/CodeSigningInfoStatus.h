#pragma once

#include "CodeSigning/CodeSignatureInfo.h"

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// What the signature check reads of a signature: the team, and the countries of the signing
// certificates, certificate by certificate from the signer up the chain.
class CodeSigningInfoStatus {
public:
    explicit CodeSigningInfoStatus(const CodeSignatureInfo& info);

    const std::optional<std::string>& teamId() const { return m_teamId; }
    const std::vector<std::string>& certificatesOrigins() const { return m_certificatesOrigins; }

private:
    std::optional<std::string> m_teamId;
    std::vector<std::string> m_certificatesOrigins;
};

}  // namespace tarnwick
