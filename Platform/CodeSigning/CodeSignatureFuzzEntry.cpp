#include "CodeSignatureFuzzEntry.h"

#include "CertificateCountries.h"
#include "CodeSignatureReader.h"

namespace tarnwick {

int CodeSignatureFuzz::fuzzOne(const std::uint8_t* data, std::size_t size) {
    auto info = CodeSignatureReader::read(std::span<const std::uint8_t>(data, size));
    if (info) {
        (void)info->teamIdentifier();
        for (const auto& certificate : info->certificates) {
            (void)certificateSubjectCountries(certificate);  // only its bounds are under test
        }
    }
    return 0;
}

}  // namespace tarnwick
