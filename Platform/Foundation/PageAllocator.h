#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace tarnwick {

// An allocator that takes large blocks straight from the kernel and gives them back when freed.
// The C library keeps freed large blocks for reuse by the thread's own arena once it has seen a
// few, so many threads that each read a large file in turn would keep every arena's peak
// resident; buffers of executables' strings use this instead.
template <typename T>
struct PageAllocator {
    using value_type = T;
    static constexpr std::size_t kDirectBytes = 256 * 1024;

    PageAllocator() = default;
    template <typename U>
    PageAllocator(const PageAllocator<U>&) noexcept {}

    // Blocks of this size and more are laid on huge pages where the kernel offers them: a fresh
    // page costs a fault when first written, and on a busy virtual machine the faults of tens of
    // megabytes in small pages take longer than reading the file.
    static constexpr std::size_t kHugePageBytes = 2u << 20;

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kDirectBytes) {
            return static_cast<T*>(::operator new(bytes));
        }
        if (bytes < kHugePageBytes) {
            void* address =
                ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (address == MAP_FAILED) {
                throw std::bad_alloc();
            }
            return static_cast<T*>(address);
        }
        // Reserved with room to align, then trimmed to exactly the aligned block, so that
        // deallocate unmaps it as any other.
        const std::size_t reserved = bytes + kHugePageBytes;
        void* address =
            ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED) {
            throw std::bad_alloc();
        }
        auto* start = static_cast<char*>(address);
        auto* aligned =
            reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(start) + kHugePageBytes - 1) &
                                    ~std::uintptr_t{kHugePageBytes - 1});
        const std::size_t pageBytes = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        auto* end = aligned + (bytes + pageBytes - 1) / pageBytes * pageBytes;
        if (aligned > start) {
            ::munmap(start, static_cast<std::size_t>(aligned - start));
        }
        if (start + reserved > end) {
            ::munmap(end, static_cast<std::size_t>(start + reserved - end));
        }
        ::madvise(aligned, bytes, MADV_HUGEPAGE);  // a hint: without it, small pages
        return reinterpret_cast<T*>(aligned);
    }

    void deallocate(T* pointer, std::size_t count) noexcept {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kDirectBytes) {
            ::operator delete(pointer);
        } else {
            ::munmap(pointer, bytes);
        }
    }

    template <typename U>
    bool operator==(const PageAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace tarnwick
