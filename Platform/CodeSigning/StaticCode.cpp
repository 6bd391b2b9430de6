#include "StaticCode.h"

#include "CodeSignatureReader.h"
#include "Foundation/Bundle.h"
#include "MachO/FatBinary.h"
#include "MachO/MachOImage.h"
#include "MachO/MemoryMap.h"

#include <system_error>

namespace tarnwick {

namespace {

CodeSigningError cannotRead(std::string message) {
    return CodeSigningError{CodeSigningError::Code::cannotRead, std::move(message)};
}

}  // namespace

Result<StaticCode, CodeSigningError> StaticCode::createWithPath(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path executable = path;
    if (std::filesystem::is_directory(path, error)) {
        auto named = Bundle(path).executablePath();
        if (!named) {
            return Failure{cannotRead("the bundle names no executable: " + path.string())};
        }
        executable = *named;
    }
    // Only the headers and the signatures are copied in: a file cut short meanwhile gives an
    // error, where a mapping of it would end the process at the next read.
    auto map = MemoryMap::copyOnDemand(executable);
    if (!map) {
        return Failure{cannotRead(map.error().message)};
    }
    if (!map->loadFatHeader()) {
        return Failure{cannotRead("cannot read " + executable.string())};
    }
    const auto bytes = map->bytes();
    auto slices = allSlices(bytes);
    if (!slices) {
        return Failure{cannotRead(slices.error().message)};
    }
    auto preferred = preferredSlice(bytes);
    StaticCode code;
    for (const auto& slice : *slices) {
        (void)map->loadImageHeader(slice);  // what is missing, parsing reports
        auto image = MachOImage::parse(bytes, slice);
        if (image && image->codeSignature()) {
            const auto signature = *image->codeSignature();
            (void)map->load(slice.offset + signature.offset, signature.size);
        }
        if (!image) {
            code.m_slices.push_back(Slice{0, Failure{cannotRead(image.error().message)}});
        } else {
            code.m_slices.push_back(Slice{image->cputype(), CodeSignatureReader::read(*image)});
        }
        if (preferred && slice.offset == preferred->offset) {
            code.m_preferred = code.m_slices.size() - 1;
        }
    }
    return code;
}

}  // namespace tarnwick
