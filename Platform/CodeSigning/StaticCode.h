#pragma once

#include "CodeSignatureInfo.h"
#include "CodeSigningError.h"
#include "Foundation/Result.h"

#include <filesystem>
#include <vector>

namespace tarnwick {

// The signatures of an application bundle's executable (or of an executable file), read from
// disk. Every slice of a universal file carries its own; the signing information of the code is
// that of the slice a reader of the executable would take (x86-64, else the first).
class StaticCode {
public:
    struct Slice {
        std::uint32_t cputype = 0;
        Result<CodeSignatureInfo, CodeSigningError> signature;
    };

    // `path`: a bundle folder (its Info.plist names the executable) or an executable file.
    static Result<StaticCode, CodeSigningError> createWithPath(const std::filesystem::path& path);

    const std::vector<Slice>& slices() const { return m_slices; }
    const Result<CodeSignatureInfo, CodeSigningError>& signingInformation() const {
        return m_slices[m_preferred].signature;
    }

private:
    std::vector<Slice> m_slices;
    std::size_t m_preferred = 0;
};

}  // namespace tarnwick
