#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick::testing {

// Embedded code signatures for fixture executables, made the way signing tools lay them out: a
// SuperBlob with CodeDirectories and, for identity signatures, a detached CMS signature whose
// certificates the test generates with OpenSSL (EC P-256 keys, so it is quick).

struct CodeDirectorySpec {
    std::uint32_t version = 0x20400;
    std::uint32_t flags = 0;
    std::uint8_t hashType = 2;  // SHA-256
    std::string identifier = "com.example.tool";
    std::optional<std::string> teamIdentifier;
    std::uint32_t codeSlots = 2;
};
std::string buildCodeDirectory(const CodeDirectorySpec& spec);

// A certificate chain, signer first: one subject per entry, each issued by the next, the last
// self-signed.
struct CertificateSubject {
    std::vector<std::string> countries;  // "C" values, in order; may be empty
    std::string commonName;
    std::optional<std::string> organizationalUnit;  // the team identifier of a developer identity
};
class CertificateChain {
public:
    explicit CertificateChain(const std::vector<CertificateSubject>& subjects);
    ~CertificateChain();
    CertificateChain(const CertificateChain&) = delete;
    CertificateChain& operator=(const CertificateChain&) = delete;

    // A detached CMS signature over `content`, carrying every certificate of the chain (stored
    // root first, so a reader must order them itself).
    std::string signDetached(const std::string& content) const;
    std::vector<std::string> derCertificates() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// A blob wrapper around DER bytes (or around nothing, as ad-hoc signers write it).
std::string buildBlobWrapper(const std::string& der);

struct SuperBlobEntry {
    std::uint32_t type;
    std::string blob;
};
std::string buildSuperBlob(const std::vector<SuperBlobEntry>& entries);

// The common shapes.
std::string buildIdentitySignature(const CertificateChain& chain, CodeDirectorySpec spec,
                                   bool withSHA1Primary = true);
std::string buildAdHocSignature(const std::string& identifier);
std::string buildLinkerSignature(const std::string& identifier);

}  // namespace tarnwick::testing
