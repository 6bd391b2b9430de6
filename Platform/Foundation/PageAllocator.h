#pragma once

#include <cstddef>
#include <new>
#include <sys/mman.h>

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

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kDirectBytes) {
            return static_cast<T*>(::operator new(bytes));
        }
        void* address =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(address);
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
