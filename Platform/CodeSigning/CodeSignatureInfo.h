#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The digest a CodeDirectory hashes its pages with.
enum class CodeHashType : std::uint8_t {
    none = 0,
    sha1 = 1,
    sha256 = 2,
    sha256Truncated = 3,
    sha384 = 4,
};

// What one CodeDirectory says. A signature may carry several (a SHA-1 one in the primary slot and
// SHA-256 ones as alternates); they name the same code.
struct CodeDirectoryInfo {
    std::uint32_t version = 0;
    std::uint32_t flags = 0;
    CodeHashType hashType = CodeHashType::none;
    std::uint8_t hashSize = 0;
    std::uint32_t codeSlots = 0;
    std::uint32_t specialSlots = 0;
    std::string identifier;
    // Written from version 0x20200 on, and only for code signed with a developer identity.
    std::optional<std::string> teamIdentifier;
};

// The embedded signature of one image, as written; nothing here has been verified against the
// code or a trust store.
struct CodeSignatureInfo {
    static constexpr std::uint32_t adHocFlag = 0x2;
    static constexpr std::uint32_t linkerSignedFlag = 0x20000;

    // The primary CodeDirectory first, then the alternates in slot order.
    std::vector<CodeDirectoryInfo> codeDirectories;
    // DER certificates of the CMS signature, the signer's first, then each issuer up the chain,
    // then any the chain does not reach, in stored order. Empty for ad-hoc and linker signatures.
    std::vector<std::vector<std::uint8_t>> certificates;
    bool hasCMSSignature = false;

    const std::string& identifier() const { return codeDirectories.front().identifier; }
    // The first CodeDirectory's that has one.
    std::optional<std::string> teamIdentifier() const;
    std::uint32_t flags() const { return codeDirectories.front().flags; }
    bool isAdHoc() const { return (flags() & adHocFlag) != 0; }
    bool isLinkerSigned() const { return (flags() & linkerSignedFlag) != 0; }
    std::vector<CodeHashType> hashTypes() const;
};

}  // namespace tarnwick
