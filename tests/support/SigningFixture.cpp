#include "support/SigningFixture.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <stdexcept>

namespace tarnwick::testing {

namespace {

void appendBigEndian32(std::string& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>((value >> shift) & 0xff));
    }
}

void setBigEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> ((3 - i) * 8)) & 0xff);
    }
}

std::size_t headerSizeOf(std::uint32_t version) {
    if (version >= 0x20600) {
        return 108;
    }
    if (version >= 0x20500) {
        return 96;
    }
    if (version >= 0x20400) {
        return 88;
    }
    if (version >= 0x20300) {
        return 64;
    }
    if (version >= 0x20200) {
        return 52;
    }
    if (version >= 0x20100) {
        return 48;
    }
    return 44;
}

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("signing fixture: ") + what);
    }
}

}  // namespace

std::string buildCodeDirectory(const CodeDirectorySpec& spec) {
    const std::size_t hashSize = spec.hashType == 1 ? 20 : spec.hashType == 4 ? 48 : 32;
    std::string blob(headerSizeOf(spec.version), '\0');
    const std::size_t identOffset = blob.size();
    blob += spec.identifier;
    blob.push_back('\0');
    std::size_t teamOffset = 0;
    if (spec.teamIdentifier && spec.version >= 0x20200) {
        teamOffset = blob.size();
        blob += *spec.teamIdentifier;
        blob.push_back('\0');
    }
    const std::size_t specialSlots = 2;
    blob += std::string(specialSlots * hashSize, '\x11');
    const std::size_t hashOffset = blob.size();
    blob += std::string(spec.codeSlots * hashSize, '\x22');

    setBigEndian32(blob, 0, 0xfade0c02);
    setBigEndian32(blob, 4, static_cast<std::uint32_t>(blob.size()));
    setBigEndian32(blob, 8, spec.version);
    setBigEndian32(blob, 12, spec.flags);
    setBigEndian32(blob, 16, static_cast<std::uint32_t>(hashOffset));
    setBigEndian32(blob, 20, static_cast<std::uint32_t>(identOffset));
    setBigEndian32(blob, 24, specialSlots);
    setBigEndian32(blob, 28, spec.codeSlots);
    setBigEndian32(blob, 32, spec.codeSlots * 4096);
    blob[36] = static_cast<char>(hashSize);
    blob[37] = static_cast<char>(spec.hashType);
    blob[39] = 12;  // 4096-byte pages
    if (spec.version >= 0x20200) {
        setBigEndian32(blob, 48, static_cast<std::uint32_t>(teamOffset));
    }
    return blob;
}

struct CertificateChain::Impl {
    std::vector<EVP_PKEY*> keys;
    std::vector<X509*> certificates;

    ~Impl() {
        for (auto* certificate : certificates) {
            X509_free(certificate);
        }
        for (auto* key : keys) {
            EVP_PKEY_free(key);
        }
    }
};

CertificateChain::CertificateChain(const std::vector<CertificateSubject>& subjects)
    : m_impl(std::make_unique<Impl>()) {
    check(!subjects.empty(), "a chain needs a subject");
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
        check(key != nullptr, "key generation");
        m_impl->keys.push_back(key);
        X509* certificate = X509_new();
        check(certificate != nullptr, "certificate");
        m_impl->certificates.push_back(certificate);
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), static_cast<long>(i + 1));
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 3600L * 24 * 365);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        const auto add = [&](const char* field, const std::string& value) {
            X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                       reinterpret_cast<const unsigned char*>(value.c_str()), -1,
                                       -1, 0);
        };
        add("CN", subjects[i].commonName);
        if (subjects[i].organizationalUnit) {
            add("OU", *subjects[i].organizationalUnit);
        }
        for (const auto& country : subjects[i].countries) {
            add("C", country);
        }
    }
    // Each is issued by the next; the last by itself.
    for (std::size_t i = 0; i < subjects.size(); ++i) {
        const std::size_t issuer = i + 1 < subjects.size() ? i + 1 : i;
        X509_set_issuer_name(m_impl->certificates[i],
                             X509_get_subject_name(m_impl->certificates[issuer]));
        check(X509_sign(m_impl->certificates[i], m_impl->keys[issuer], EVP_sha256()) > 0, "sign");
    }
}

CertificateChain::~CertificateChain() = default;

std::string CertificateChain::signDetached(const std::string& content) const {
    BIO* data = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
    STACK_OF(X509)* extra = sk_X509_new_null();
    for (std::size_t i = m_impl->certificates.size(); i-- > 1;) {
        sk_X509_push(extra, m_impl->certificates[i]);
    }
    CMS_ContentInfo* cms = CMS_sign(m_impl->certificates[0], m_impl->keys[0], extra, data,
                                    CMS_DETACHED | CMS_BINARY | CMS_NOSMIMECAP);
    sk_X509_free(extra);
    BIO_free(data);
    check(cms != nullptr, "CMS signature");
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(cms, &der);
    CMS_ContentInfo_free(cms);
    check(length > 0, "CMS encoding");
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

std::vector<std::string> CertificateChain::derCertificates() const {
    std::vector<std::string> result;
    for (X509* certificate : m_impl->certificates) {
        unsigned char* der = nullptr;
        const int length = i2d_X509(certificate, &der);
        result.emplace_back(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
        OPENSSL_free(der);
    }
    return result;
}

std::string buildBlobWrapper(const std::string& der) {
    std::string blob;
    appendBigEndian32(blob, 0xfade0b01);
    appendBigEndian32(blob, static_cast<std::uint32_t>(8 + der.size()));
    return blob + der;
}

std::string buildSuperBlob(const std::vector<SuperBlobEntry>& entries) {
    std::string index;
    std::string blobs;
    const std::size_t headerSize = 12 + entries.size() * 8;
    for (const auto& entry : entries) {
        appendBigEndian32(index, entry.type);
        appendBigEndian32(index, static_cast<std::uint32_t>(headerSize + blobs.size()));
        blobs += entry.blob;
    }
    std::string superBlob;
    appendBigEndian32(superBlob, 0xfade0cc0);
    appendBigEndian32(superBlob, static_cast<std::uint32_t>(headerSize + blobs.size()));
    appendBigEndian32(superBlob, static_cast<std::uint32_t>(entries.size()));
    return superBlob + index + blobs;
}

std::string buildIdentitySignature(const CertificateChain& chain, CodeDirectorySpec spec,
                                   bool withSHA1Primary) {
    std::vector<SuperBlobEntry> entries;
    if (withSHA1Primary) {
        auto sha1 = spec;
        sha1.hashType = 1;
        entries.push_back({0, buildCodeDirectory(sha1)});
        entries.push_back({0x1000, buildCodeDirectory(spec)});
    } else {
        entries.push_back({0, buildCodeDirectory(spec)});
    }
    // Requirements: an empty set.
    std::string requirements;
    appendBigEndian32(requirements, 0xfade0c01);
    appendBigEndian32(requirements, 12);
    appendBigEndian32(requirements, 0);
    entries.push_back({2, requirements});
    entries.push_back({0x10000, buildBlobWrapper(chain.signDetached(entries[0].blob))});
    return buildSuperBlob(entries);
}

std::string buildAdHocSignature(const std::string& identifier) {
    CodeDirectorySpec spec;
    spec.identifier = identifier;
    spec.flags = 0x2;
    return buildSuperBlob({{0, buildCodeDirectory(spec)}, {0x10000, buildBlobWrapper("")}});
}

std::string buildLinkerSignature(const std::string& identifier) {
    CodeDirectorySpec spec;
    spec.identifier = identifier;
    spec.flags = 0x20002;
    return buildSuperBlob({{0, buildCodeDirectory(spec)}});
}

}  // namespace tarnwick::testing
