#pragma once

#include "Foundation/PageAllocator.h"

#include <cstddef>
#include <deque>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The lower-cased C strings of an executable, lower-cased where they lie in the bytes read from
// it, with a view per string: a section of millions of strings costs a few allocations instead of
// one per string, and its bytes are not copied again. Views stay valid as long as the list, also
// after it is moved.
class CStringList {
public:
    using Bytes = std::vector<char, PageAllocator<char>>;

    CStringList() = default;

    std::size_t size() const { return m_views.size(); }
    bool empty() const { return m_views.empty(); }
    std::string_view operator[](std::size_t index) const { return m_views[index]; }
    auto begin() const { return m_views.begin(); }
    auto end() const { return m_views.end(); }
    std::vector<std::string> toStrings() const { return {m_views.begin(), m_views.end()}; }

    // What each string costs beside its bytes: its view.
    static constexpr std::size_t kBytesPerString = sizeof(std::string_view);

    // The NUL-terminated strings of a section's bytes, lower-cased where they lie: the bytes
    // become the list's buffer. Strings that are not UTF-8 and an unterminated tail are left out.
    // At most `overheadBytes` go to what the list keeps beside the bytes (a view per string, and
    // the rare string that grows when lower-cased); the strings past that are left out too, so a
    // file of millions of one-letter strings costs what its reader was granted, not gigabytes.
    static CStringList inPlace(Bytes bytes,
                               std::size_t overheadBytes = std::numeric_limits<std::size_t>::max());
    // Holds `lease` as long as the list: what the list's memory was counted against.
    void keep(std::shared_ptr<void> lease) { m_lease = std::move(lease); }

    // Used for testing only: the memory the list holds, its bytes and what it keeps beside them.
    std::size_t memoryBytes() const;

private:
    // First, so that it goes last: the memory it stands for is free by then.
    std::shared_ptr<void> m_lease;
    // The bytes the list points into; moving the list moves the allocation, not the bytes.
    Bytes m_adopted;
    // Strings whose lower-case form is longer than they are; a deque never moves its elements.
    std::deque<std::string> m_grown;
    std::size_t m_grownBytes = 0;
    std::vector<std::string_view, PageAllocator<std::string_view>> m_views;
};

// Reads the C strings of an application's main executable, lower-cased.
class BinaryStringsParser {
public:
    virtual ~BinaryStringsParser() = default;
    // Empty on any failure.
    virtual CStringList parse(const std::filesystem::path& bundleURL) const = 0;
};

}  // namespace tarnwick
