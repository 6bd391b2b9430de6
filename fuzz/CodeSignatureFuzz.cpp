#include "CodeSigning/CertificateCountries.h"
#include "CodeSigning/CodeSignatureReader.h"
#include "FuzzEntries.h"

namespace tarnwick::fuzz {

int fuzzCodeSignature(const std::uint8_t* data, std::size_t size) {
    auto info = CodeSignatureReader::read(std::span<const std::uint8_t>(data, size));
    if (info) {
        (void)info->teamIdentifier();
        for (const auto& certificate : info->certificates) {
            (void)certificateSubjectCountries(certificate);  // only its bounds are under test
        }
    }
    return 0;
}

}  // namespace tarnwick::fuzz
