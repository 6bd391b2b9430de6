#include "CodeSignatureReader.h"

#include "Foundation/ByteReader.h"

#include <openssl/cms.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

namespace tarnwick {

namespace {

constexpr auto big = ByteReader::Order::big;

// The CodeDirectory versions that added the fields read here.
constexpr std::uint32_t versionWithTeam = 0x20200;
constexpr std::size_t codeDirectoryBaseSize = 44;
constexpr std::size_t teamOffsetField = 48;

CodeSigningError malformed(std::string message) {
    return CodeSigningError{CodeSigningError::Code::malformed, std::move(message)};
}

// A NUL-terminated text at `offset` inside `blob`; nothing when it runs off the blob's end.
std::optional<std::string> terminatedText(const ByteReader& blob, std::size_t offset) {
    if (offset >= blob.size()) {
        return std::nullopt;
    }
    const auto rest = *blob.span(offset, blob.size() - offset);
    const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    if (end == rest.end()) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(rest.data()),
                       static_cast<std::size_t>(end - rest.begin()));
}

Result<CodeDirectoryInfo, CodeSigningError> readCodeDirectory(const ByteReader& blob) {
    if (blob.size() < codeDirectoryBaseSize) {
        return Failure{malformed("CodeDirectory shorter than its header")};
    }
    CodeDirectoryInfo directory;
    directory.version = *blob.u32(8, big);
    directory.flags = *blob.u32(12, big);
    const std::uint32_t hashOffset = *blob.u32(16, big);
    const std::uint32_t identOffset = *blob.u32(20, big);
    directory.specialSlots = *blob.u32(24, big);
    directory.codeSlots = *blob.u32(28, big);
    directory.hashSize = *blob.u8(36);
    directory.hashType = static_cast<CodeHashType>(*blob.u8(37));

    // The hash slots must lie in the blob: special slots count back from the hash offset.
    const std::uint64_t slotsBefore = std::uint64_t{directory.specialSlots} * directory.hashSize;
    const std::uint64_t slotsAfter = std::uint64_t{directory.codeSlots} * directory.hashSize;
    if (slotsBefore > hashOffset || hashOffset > blob.size() ||
        slotsAfter > blob.size() - hashOffset) {
        return Failure{malformed("CodeDirectory hash slots lie outside it")};
    }
    auto identifier = terminatedText(blob, identOffset);
    if (!identifier) {
        return Failure{malformed("CodeDirectory identifier lies outside it")};
    }
    directory.identifier = std::move(*identifier);
    if (directory.version >= versionWithTeam) {
        const auto teamOffset = blob.u32(teamOffsetField, big);
        if (!teamOffset) {
            return Failure{malformed("CodeDirectory shorter than its version's header")};
        }
        if (*teamOffset != 0) {
            auto team = terminatedText(blob, *teamOffset);
            if (!team) {
                return Failure{malformed("CodeDirectory team identifier lies outside it")};
            }
            directory.teamIdentifier = std::move(*team);
        }
    }
    return directory;
}

struct CMSDeleter {
    void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};
struct CertificateStackDeleter {
    void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};

std::vector<std::uint8_t> derOf(X509* certificate) {
    unsigned char* buffer = nullptr;
    const int length = i2d_X509(certificate, &buffer);
    if (length <= 0) {
        return {};
    }
    std::vector<std::uint8_t> der(buffer, buffer + length);
    OPENSSL_free(buffer);
    return der;
}

// The certificates in chain order: the signer, its issuer, that one's issuer and so on; the rest
// after them as stored. The SET OF in the CMS has no order of its own that a reader may rely on.
Result<std::vector<std::vector<std::uint8_t>>, CodeSigningError> readCertificates(
    std::span<const std::uint8_t> der) {
    const unsigned char* cursor = der.data();
    std::unique_ptr<CMS_ContentInfo, CMSDeleter> cms(
        d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
    if (!cms) {
        return Failure{
            CodeSigningError{CodeSigningError::Code::badCMS, "the CMS signature does not decode"}};
    }
    std::unique_ptr<STACK_OF(X509), CertificateStackDeleter> stack(CMS_get1_certs(cms.get()));
    std::vector<X509*> remaining;
    for (int i = 0; stack && i < sk_X509_num(stack.get()); ++i) {
        remaining.push_back(sk_X509_value(stack.get(), i));
    }
    std::vector<X509*> chain;
    auto take = [&](std::vector<X509*>::iterator found) {
        chain.push_back(*found);
        remaining.erase(found);
    };
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
    if (signers != nullptr && sk_CMS_SignerInfo_num(signers) > 0) {
        CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);
        auto found = std::find_if(remaining.begin(), remaining.end(), [&](X509* certificate) {
            return CMS_SignerInfo_cert_cmp(signer, certificate) == 0;
        });
        if (found != remaining.end()) {
            take(found);
            while (true) {
                X509* last = chain.back();
                if (X509_NAME_cmp(X509_get_issuer_name(last), X509_get_subject_name(last)) == 0) {
                    break;  // self-signed: the root
                }
                auto issuer =
                    std::find_if(remaining.begin(), remaining.end(), [&](X509* certificate) {
                        return X509_NAME_cmp(X509_get_subject_name(certificate),
                                             X509_get_issuer_name(last)) == 0;
                    });
                if (issuer == remaining.end()) {
                    break;
                }
                take(issuer);
            }
        }
    }
    chain.insert(chain.end(), remaining.begin(), remaining.end());
    std::vector<std::vector<std::uint8_t>> certificates;
    for (X509* certificate : chain) {
        certificates.push_back(derOf(certificate));
    }
    return certificates;
}

}  // namespace

std::optional<std::string> CodeSignatureInfo::teamIdentifier() const {
    for (const auto& directory : codeDirectories) {
        if (directory.teamIdentifier) {
            return directory.teamIdentifier;
        }
    }
    return std::nullopt;
}

std::vector<CodeHashType> CodeSignatureInfo::hashTypes() const {
    std::vector<CodeHashType> types;
    for (const auto& directory : codeDirectories) {
        types.push_back(directory.hashType);
    }
    return types;
}

Result<CodeSignatureInfo, CodeSigningError> CodeSignatureReader::read(
    std::span<const std::uint8_t> superBlob) {
    const ByteReader reader(superBlob);
    const auto magic = reader.u32(0, big);
    const auto length = reader.u32(4, big);
    const auto count = reader.u32(8, big);
    if (!magic || !length || !count) {
        return Failure{malformed("signature shorter than its header")};
    }
    if (*magic != superBlobMagic) {
        return Failure{malformed("no embedded-signature magic number")};
    }
    if (*length > superBlob.size() || *count > maximumBlobs || 12 + *count * 8 > *length) {
        return Failure{malformed("signature index larger than the signature")};
    }
    const ByteReader signature(superBlob.first(*length));

    struct Entry {
        std::uint32_t type;
        ByteReader blob;
    };
    std::vector<Entry> entries;
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::uint32_t type = *signature.u32(12 + index * 8, big);
        const std::uint32_t offset = *signature.u32(16 + index * 8, big);
        const auto blobLength = signature.u32(std::size_t{offset} + 4, big);
        if (!blobLength || *blobLength < 8 || !signature.contains(offset, *blobLength)) {
            return Failure{malformed("blob " + std::to_string(index) + " lies outside it")};
        }
        entries.push_back(Entry{type, ByteReader(*signature.span(offset, *blobLength))});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.type < b.type; });

    CodeSignatureInfo info;
    for (const auto& entry : entries) {
        const bool isCodeDirectory =
            entry.type == codeDirectorySlot || (entry.type >= firstAlternateCodeDirectorySlot &&
                                                entry.type < firstAlternateCodeDirectorySlot + 5);
        if (isCodeDirectory) {
            if (*entry.blob.u32(0, big) != codeDirectoryMagic) {
                return Failure{malformed("CodeDirectory slot without a CodeDirectory")};
            }
            auto directory = readCodeDirectory(entry.blob);
            if (!directory) {
                return Failure{directory.error()};
            }
            info.codeDirectories.push_back(std::move(*directory));
        } else if (entry.type == signatureSlot) {
            if (*entry.blob.u32(0, big) != blobWrapperMagic) {
                return Failure{malformed("signature slot without a blob wrapper")};
            }
            info.hasCMSSignature = true;
            const auto der = entry.blob.bytes().subspan(8);
            // Ad-hoc signers leave the wrapper empty.
            if (!der.empty()) {
                auto certificates = readCertificates(der);
                if (!certificates) {
                    return Failure{certificates.error()};
                }
                info.certificates = std::move(*certificates);
            }
        }
    }
    if (info.codeDirectories.empty()) {
        return Failure{malformed("signature without a CodeDirectory")};
    }
    return info;
}

Result<CodeSignatureInfo, CodeSigningError> CodeSignatureReader::read(const MachOImage& image) {
    const auto location = image.codeSignature();
    if (!location) {
        return Failure{CodeSigningError{CodeSigningError::Code::notSigned, "no code signature"}};
    }
    const auto bytes = ByteReader(image.bytes()).span(location->offset, location->size);
    if (!bytes) {
        return Failure{malformed("code signature lies outside the image")};
    }
    return read(*bytes);
}

}  // namespace tarnwick
