#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tarnwick {

// Checked reads of fixed-width integers and byte runs from untrusted bytes. Every read names its
// offset and byte order and gives nothing when the bytes are not all there, so a parser cannot read
// past the end however its offsets were computed. Offsets are absolute, so parsers that follow
// pointers (DNS names, load commands) can jump without a second cursor type.
class ByteReader {
public:
    enum class Order { big, little };

    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    ByteReader(const void* data, std::size_t size)
        : m_bytes(static_cast<const std::uint8_t*>(data), size) {}

    std::size_t size() const { return m_bytes.size(); }
    std::span<const std::uint8_t> bytes() const { return m_bytes; }

    // Whether [offset, offset + length) lies inside the bytes, without overflowing.
    bool contains(std::size_t offset, std::size_t length) const {
        return offset <= m_bytes.size() && length <= m_bytes.size() - offset;
    }

    std::optional<std::uint8_t> u8(std::size_t offset) const {
        if (!contains(offset, 1)) {
            return std::nullopt;
        }
        return m_bytes[offset];
    }
    std::optional<std::uint16_t> u16(std::size_t offset, Order order) const {
        return read<std::uint16_t>(offset, order);
    }
    std::optional<std::uint32_t> u32(std::size_t offset, Order order) const {
        return read<std::uint32_t>(offset, order);
    }
    std::optional<std::uint64_t> u64(std::size_t offset, Order order) const {
        return read<std::uint64_t>(offset, order);
    }

    std::optional<std::span<const std::uint8_t>> span(std::size_t offset,
                                                      std::size_t length) const {
        if (!contains(offset, length)) {
            return std::nullopt;
        }
        return m_bytes.subspan(offset, length);
    }
    std::optional<std::string_view> text(std::size_t offset, std::size_t length) const {
        if (!contains(offset, length)) {
            return std::nullopt;
        }
        return std::string_view(reinterpret_cast<const char*>(m_bytes.data() + offset), length);
    }

private:
    template <typename T>
    std::optional<T> read(std::size_t offset, Order order) const {
        if (!contains(offset, sizeof(T))) {
            return std::nullopt;
        }
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            const std::size_t index = order == Order::big ? i : sizeof(T) - 1 - i;
            value = static_cast<T>((value << 8) | m_bytes[offset + index]);
        }
        return value;
    }

    std::span<const std::uint8_t> m_bytes;
};

}  // namespace tarnwick
