#include "largememory.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ldtools {

#if defined(__linux__) && defined(MADV_HUGEPAGE)

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t roundedUp(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

// A mapping one huge page longer than asked, trimmed at both ends to 2 MiB boundaries, so that every huge
// page of the request can be one.
void* allocateLarge(std::size_t bytes) {
    if (bytes < kLargeBytes) return ::operator new(bytes);
    if (bytes > static_cast<std::size_t>(-1) / 2) throw std::bad_alloc();
    const std::size_t length = roundedUp(bytes);
    void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) munmap(mapped, aligned - start);
    const std::uintptr_t end = start + length + kHugePage;
    if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    void* memory = reinterpret_cast<void*>(aligned);
    madvise(memory, length, MADV_HUGEPAGE);  // advice: without huge pages the memory is as good
    return memory;
}

void releaseLarge(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) return;
    if (bytes < kLargeBytes) {
        ::operator delete(memory);
        return;
    }
    munmap(memory, roundedUp(bytes));
}

#else

void* allocateLarge(std::size_t bytes) {
    return ::operator new(bytes);
}

void releaseLarge(void* memory, std::size_t) noexcept {
    ::operator delete(memory);
}

#endif

}  // namespace ldtools
