#pragma once

#include "Foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarnwick {

// An application's icon as the screens draw it: PNG bytes, decoded by whoever shows it.
struct IconImage {
    std::vector<std::uint8_t> png;
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    bool operator==(const IconImage&) const = default;
};

struct IconFamilyError {
    std::string description;
};

// An icon file of a bundle's Resources folder ("X.icns"): a big-endian "icns" header and a run of
// typed chunks, each holding one rendition of the icon. Only the PNG renditions are kept; the old
// run-length and JPEG 2000 ones need decoders we do not carry. The file comes from any folder a
// user can write, so every length is checked against the bytes that are there.
class IconFamily {
public:
    static constexpr std::size_t kMaximumFileBytes = 16 * 1024 * 1024;
    static constexpr std::size_t kMaximumChunks = 256;

    struct Rendition {
        std::string type;  // four characters: "ic10", "icp4"...
        IconImage image;
    };

    static Result<IconFamily, IconFamilyError> parse(std::span<const std::uint8_t> bytes);
    static Result<IconFamily, IconFamilyError> read(const std::string& path);

    const std::vector<Rendition>& renditions() const { return m_renditions; }
    // The PNG rendition with the most pixels: the one that stays sharpest when drawn smaller.
    std::optional<IconImage> largestImage() const;

private:
    std::vector<Rendition> m_renditions;
};

}  // namespace tarnwick
