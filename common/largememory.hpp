#pragma once
// Memory for large arrays, backed by huge pages where the system offers them.
//
// Filling fresh memory costs one page fault per 4 KiB page, and on virtual machines a fault can cost as
// much as ten microseconds: a hash table of a few megabytes then takes milliseconds to touch. Large
// requests are therefore mapped on their own, aligned to 2 MiB, and the kernel is asked for transparent
// huge pages there (one fault per 2 MiB). Where it gives none, or ignores the request, the memory is
// ordinary memory. Smaller requests come from operator new: a huge page for them would cost more to
// clear than it saves.

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace ldtools {

// Requests of at least this many bytes are mapped with huge pages asked for.
inline constexpr std::size_t kLargeBytes = std::size_t{1} << 20;

// Memory for `bytes` bytes, aligned for any object (not initialised); throws std::bad_alloc.
void* allocateLarge(std::size_t bytes);
// Returns memory from allocateLarge with the size it was asked for.
void releaseLarge(void* memory, std::size_t bytes) noexcept;

// An allocator for containers of large arrays (std::vector<T, LargeAllocator<T>>).
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(allocateLarge(n * sizeof(T)));
    }
    void deallocate(T* memory, std::size_t n) noexcept { releaseLarge(memory, n * sizeof(T)); }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

// An array of n trivially constructible values from allocateLarge, not initialised: pages that are never
// written are never touched.
template <class T>
class LargeArray {
    static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);

public:
    LargeArray() = default;
    explicit LargeArray(std::size_t n)
        : data_(n > 0 ? LargeAllocator<T>().allocate(n) : nullptr), size_(n) {}
    LargeArray(LargeArray&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    LargeArray& operator=(LargeArray&& other) noexcept {
        LargeArray gone(std::move(*this));
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        return *this;
    }
    ~LargeArray() { releaseLarge(data_, size_ * sizeof(T)); }

    T* data() const { return data_; }
    std::size_t size() const { return size_; }
    T& operator[](std::size_t i) const { return data_[i]; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace ldtools
