#include "CertificateCountries.h"

#include <openssl/objects.h>
#include <openssl/x509.h>

#include <memory>

namespace tarnwick {

Result<std::vector<std::string>, CodeSigningError> certificateSubjectCountries(
    std::span<const std::uint8_t> der) {
    const unsigned char* cursor = der.data();
    std::unique_ptr<X509, decltype(&X509_free)> certificate(
        d2i_X509(nullptr, &cursor, static_cast<long>(der.size())), &X509_free);
    if (!certificate) {
        return Failure{
            CodeSigningError{CodeSigningError::Code::badCMS, "the certificate does not decode"}};
    }
    const X509_NAME* subject = X509_get_subject_name(certificate.get());
    std::vector<std::string> countries;
    for (int index = X509_NAME_get_index_by_NID(subject, NID_countryName, -1); index >= 0;
         index = X509_NAME_get_index_by_NID(subject, NID_countryName, index)) {
        const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
        unsigned char* utf8 = nullptr;
        const int length = ASN1_STRING_to_UTF8(&utf8, data);
        if (length >= 0) {
            countries.emplace_back(reinterpret_cast<const char*>(utf8),
                                   static_cast<std::size_t>(length));
            OPENSSL_free(utf8);
        }
    }
    return countries;
}

}  // namespace tarnwick
