#include "largememory.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ldtools {
namespace {

// The VmFlags line of the mapping of /proc/self/smaps that holds `address`; empty when none is found.
std::string flagsOfMapping(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t from = 0, to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-' && line.find(':') > line.find(' ')) {
            inside = from <= at && at < to;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line;
        }
    }
    return {};
}

bool transparentHugePagesOffered() {
    std::ifstream enabled("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    return std::getline(enabled, modes) && modes.find("[never]") == std::string::npos;
}

TEST(LargeMemory, LargeAndSmallRequestsHoldTheirBytes) {
    for (const std::size_t bytes : {std::size_t{1}, kLargeBytes - 1, kLargeBytes, kLargeBytes + 4097, std::size_t{5} << 20}) {
        auto* memory = static_cast<unsigned char*>(allocateLarge(bytes));
        ASSERT_NE(memory, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % alignof(std::max_align_t), 0u) << bytes;
        for (std::size_t i = 0; i < bytes; ++i) memory[i] = static_cast<unsigned char>(i * 7);
        bool kept = true;
        for (std::size_t i = 0; i < bytes; ++i) kept = kept && memory[i] == static_cast<unsigned char>(i * 7);
        EXPECT_TRUE(kept) << bytes;
        releaseLarge(memory, bytes);
    }
}

// A large request lies on a 2 MiB boundary, in a mapping that asks for huge pages where the system
// offers them; a small one is not advised.
TEST(LargeMemory, LargeRequestsAskForHugePages) {
#if defined(__linux__)
    if (!transparentHugePagesOffered()) GTEST_SKIP() << "this system offers no transparent huge pages";
    LargeArray<std::uint64_t> large((std::size_t{3} << 20) / sizeof(std::uint64_t));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(large.data()) % (std::size_t{2} << 20), 0u);
    large[0] = 1;
    EXPECT_NE(flagsOfMapping(large.data()).find(" hg"), std::string::npos) << flagsOfMapping(large.data());
    std::vector<char> small(4096, 1);
    EXPECT_EQ(flagsOfMapping(small.data()).find(" hg"), std::string::npos) << flagsOfMapping(small.data());
#else
    GTEST_SKIP() << "huge pages are asked for on Linux only";
#endif
}

TEST(LargeMemory, ArraysMoveAndVectorsGrowAcrossTheThreshold) {
    LargeArray<std::uint32_t> a(kLargeBytes / sizeof(std::uint32_t) + 1);
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<std::uint32_t>(i);
    const std::uint32_t* data = a.data();
    LargeArray<std::uint32_t> b(std::move(a));
    EXPECT_EQ(a.size(), 0u);
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(b.data(), data);
    LargeArray<std::uint32_t> c(10);
    c = std::move(b);
    ASSERT_EQ(c.size(), kLargeBytes / sizeof(std::uint32_t) + 1);
    EXPECT_EQ(c[c.size() - 1], c.size() - 1);

    std::vector<std::uint64_t, LargeAllocator<std::uint64_t>> grown;
    for (std::uint64_t i = 0; i < 3 * kLargeBytes / sizeof(std::uint64_t); ++i) grown.push_back(i * i);
    bool kept = true;
    for (std::uint64_t i = 0; i < grown.size(); ++i) kept = kept && grown[i] == i * i;
    EXPECT_TRUE(kept);
}

}  // namespace
}  // namespace ldtools
