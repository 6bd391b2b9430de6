#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// A random (version 4) identifier and its canonical text.
class UUID {
public:
    static UUID random();
    static std::optional<UUID> parse(std::string_view text);

    // 36 characters, upper-case hexadecimal digits and hyphens.
    std::string uuidString() const;

    bool operator==(const UUID& other) const = default;
    auto operator<=>(const UUID& other) const = default;

private:
    std::array<std::uint8_t, 16> m_bytes{};
};

}  // namespace tarnwick
