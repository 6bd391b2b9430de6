#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// The countries named in a certificate's subject.
class CertificateOriginProvider {
public:
    // The subject's country values in order; empty for a certificate without one, or one that
    // does not decode.
    std::vector<std::string> certificateOriginsFromCertificate(
        std::span<const std::uint8_t> derCertificate) const;
};

}  // namespace tarnwick
