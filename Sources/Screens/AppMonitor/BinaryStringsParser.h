#pragma once

#include "Foundation/PageAllocator.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The lower-cased C strings of an executable, kept in one buffer with a view per string, so a
// section of millions of strings costs a few allocations instead of one per string. Views stay
// valid as long as the list, also after it is moved.
class CStringList {
public:
    CStringList() = default;
    // Room for `bytes` bytes of strings; appending more than that is a programming error.
    explicit CStringList(std::size_t bytes);

    std::size_t size() const { return m_views.size(); }
    bool empty() const { return m_views.empty(); }
    std::string_view operator[](std::size_t index) const { return m_views[index]; }
    auto begin() const { return m_views.begin(); }
    auto end() const { return m_views.end(); }
    std::vector<std::string> toStrings() const { return {m_views.begin(), m_views.end()}; }

    // Lower-cases `text` into the buffer when it is ASCII; false, keeping nothing, when not.
    bool appendLowercasedIfASCII(std::string_view text);
    // Keeps a string made elsewhere (a lower-cased non-ASCII one).
    void appendOwned(std::string text);

    // The NUL-terminated strings of a section's bytes, lower-cased where they lie: the bytes
    // become the list's buffer instead of being copied. Strings that are not UTF-8 and an
    // unterminated tail are left out.
    using Bytes = std::vector<char, PageAllocator<char>>;
    static CStringList inPlace(Bytes bytes);
    // Holds `lease` as long as the list: what the list's memory was counted against.
    void keep(std::shared_ptr<void> lease) { m_lease = std::move(lease); }

private:
    // First, so that it goes last: the memory it stands for is free by then.
    std::shared_ptr<void> m_lease;
    // Freed memory of this size would otherwise stay with the thread's arena (see PageAllocator).
    struct Block {
        char* data = nullptr;
        std::size_t size = 0;
        Block() = default;
        explicit Block(std::size_t bytes);
        Block(Block&& other) noexcept;
        Block& operator=(Block&& other) noexcept;
        ~Block();
    };
    Block m_buffer;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
    std::vector<std::unique_ptr<std::string>> m_owned;
    std::vector<std::string_view, PageAllocator<std::string_view>> m_views;
    // The bytes an in-place list points into; moving the list moves the allocation, not the bytes.
    Bytes m_adopted;
};

// Reads the C strings of an application's main executable, lower-cased.
class BinaryStringsParser {
public:
    virtual ~BinaryStringsParser() = default;
    // Empty on any failure.
    virtual CStringList parse(const std::filesystem::path& bundleURL) const = 0;
};

}  // namespace tarnwick
