#pragma once

#include "CodeSignatureInfo.h"
#include "CodeSigningError.h"
#include "Foundation/Result.h"
#include "MachO/MachOImage.h"

#include <cstdint>
#include <span>

namespace tarnwick {

// Reads an embedded code signature: the SuperBlob's index, every CodeDirectory (versions up to
// the current layout, SHA-1 and SHA-2 digests, alternates) and the CMS blob with its
// certificates. Offsets and lengths come from the file, so each is checked against the blob that
// holds it; the CMS is decoded by OpenSSL within its blob's bounds.
class CodeSignatureReader {
public:
    static constexpr std::uint32_t superBlobMagic = 0xfade0cc0;
    static constexpr std::uint32_t codeDirectoryMagic = 0xfade0c02;
    static constexpr std::uint32_t blobWrapperMagic = 0xfade0b01;
    static constexpr std::uint32_t codeDirectorySlot = 0;
    static constexpr std::uint32_t firstAlternateCodeDirectorySlot = 0x1000;
    static constexpr std::uint32_t signatureSlot = 0x10000;
    // Far more index entries than any signer writes.
    static constexpr std::uint32_t maximumBlobs = 256;

    static Result<CodeSignatureInfo, CodeSigningError> read(
        std::span<const std::uint8_t> superBlob);
    // The signature that the image's LC_CODE_SIGNATURE points at; `notSigned` without one.
    static Result<CodeSignatureInfo, CodeSigningError> read(const MachOImage& image);
};

}  // namespace tarnwick
