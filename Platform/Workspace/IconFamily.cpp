#include "IconFamily.h"

#include "Foundation/ByteReader.h"
#include "Foundation/OutsideFile.h"

#include <algorithm>
#include <array>

namespace tarnwick {

namespace {

constexpr std::size_t kHeaderBytes = 8;
constexpr std::array<std::uint8_t, 8> kPNGSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// The size a PNG stream says it has: its first chunk must be IHDR, right after the signature.
std::optional<std::pair<std::uint32_t, std::uint32_t>> pngSize(std::span<const std::uint8_t> data) {
    const ByteReader reader(data);
    const auto signature = reader.span(0, kPNGSignature.size());
    if (!signature || !std::equal(signature->begin(), signature->end(), kPNGSignature.begin())) {
        return std::nullopt;
    }
    const auto chunkName = reader.text(12, 4);
    const auto width = reader.u32(16, ByteReader::Order::big);
    const auto height = reader.u32(20, ByteReader::Order::big);
    if (!chunkName || *chunkName != "IHDR" || !width || !height || *width == 0 || *height == 0) {
        return std::nullopt;
    }
    return std::make_pair(*width, *height);
}

}  // namespace

Result<IconFamily, IconFamilyError> IconFamily::parse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaximumFileBytes) {
        return Failure{IconFamilyError{"the icon file is larger than 16 MiB"}};
    }
    const ByteReader reader(bytes);
    const auto magic = reader.text(0, 4);
    const auto declared = reader.u32(4, ByteReader::Order::big);
    if (!magic || *magic != "icns" || !declared) {
        return Failure{IconFamilyError{"not an icon file: no \"icns\" header"}};
    }
    if (*declared < kHeaderBytes || *declared > bytes.size()) {
        return Failure{IconFamilyError{"the icon file's length does not match its header"}};
    }
    const ByteReader family(bytes.first(*declared));

    IconFamily result;
    std::size_t offset = kHeaderBytes;
    std::size_t chunks = 0;
    while (offset < family.size()) {
        if (++chunks > kMaximumChunks) {
            return Failure{IconFamilyError{"the icon file holds too many chunks"}};
        }
        const auto type = family.text(offset, 4);
        const auto length = family.u32(offset + 4, ByteReader::Order::big);
        if (!type || !length || *length < kHeaderBytes || !family.contains(offset, *length)) {
            return Failure{IconFamilyError{"a chunk of the icon file runs past its end"}};
        }
        const auto data = *family.span(offset + kHeaderBytes, *length - kHeaderBytes);
        if (const auto size = pngSize(data)) {
            result.m_renditions.push_back(
                {std::string(*type),
                 IconImage{{data.begin(), data.end()}, size->first, size->second}});
        }
        offset += *length;
    }
    return result;
}

Result<IconFamily, IconFamilyError> IconFamily::read(const std::string& path) {
    // A FIFO or a device put in a bundle's place must not hold up a scan.
    const auto bytes = OutsideFile::read(path, kMaximumFileBytes);
    if (!bytes) {
        return Failure{IconFamilyError{bytes.error().message}};
    }
    return parse(std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
}

std::optional<IconImage> IconFamily::largestImage() const {
    const auto largest = std::max_element(
        m_renditions.begin(), m_renditions.end(), [](const auto& left, const auto& right) {
            return std::uint64_t{left.image.width} * left.image.height <
                   std::uint64_t{right.image.width} * right.image.height;
        });
    if (largest == m_renditions.end()) {
        return std::nullopt;
    }
    return largest->image;
}

}  // namespace tarnwick
