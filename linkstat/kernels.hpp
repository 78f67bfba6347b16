#pragma once
// The kernel families of linkstat: packing allele strings (packkernels.cpp), counting genotype tables
// (tablecounts.cpp), the EM of many tables at once (emkernels.cpp) and the approximate bounds
// (gridkernels.cpp). The members of a family give the same results and differ in speed only. A family's
// enumerators run from the portable member (value 0, compiled for any processor) to the fastest; the
// others are compiled in target regions (targetregion.hpp) and run only where the processor has what
// they need. Which members this processor runs is decided here for every family alike; which one a run
// uses is the run's own choice (KernelChoice, kept in its Tuning), so that two runs in one process can
// choose differently.

#include <array>
#include <cstddef>
#include <tuple>

#include "targetregion.hpp"

namespace linkstat {

enum class PackKernel { portable, avx2, avx512 };
enum class CountKernel { portable, popcnt, avx2, avx512 };
enum class EmKernel { portable, avx2, avx512 };
enum class BoundsKernel { portable, avx2, avx512 };

// Processor features that kernels need, one bit each.
struct Features {
    static constexpr unsigned kPopcnt = 1u << 0;
    static constexpr unsigned kBmi2 = 1u << 1;
    static constexpr unsigned kAvx2 = 1u << 2;
    static constexpr unsigned kAvx512f = 1u << 3;
    static constexpr unsigned kAvx512bw = 1u << 4;
    static constexpr unsigned kAvx512vpopcntdq = 1u << 5;
};

// True when this processor has every feature of `features` (detected once per process).
bool processorHas(unsigned features);

// One member of a family: its name, the features it needs, and whether this build compiles it.
struct KernelMember {
    const char* name;
    unsigned features;
    bool built;
};

#ifdef LDTOOLS_X86_KERNELS
inline constexpr bool kX86Kernels = true;
#else
inline constexpr bool kX86Kernels = false;
#endif
#ifdef LDTOOLS_VECTOR_MATH
inline constexpr bool kVectorMath = true;
#else
inline constexpr bool kVectorMath = false;
#endif

// The members of each family, in the order of its enumerators.
template <class Kernel>
struct KernelFamily;

// Packing: Avx2 and Avx512 compare 32 or 64 characters at once and deposit the codes with BMI2.
template <>
struct KernelFamily<PackKernel> {
    static constexpr KernelMember kMembers[] = {
        {"portable", 0, true},
        {"avx2", Features::kAvx2 | Features::kBmi2, kX86Kernels},
        {"avx512", Features::kAvx512f | Features::kAvx512bw | Features::kBmi2, kX86Kernels}};
};

// Counting: Popcnt counts 64-bit words with the processor's population count, Avx2 counts 256-bit
// vectors by a table of nibbles, Avx512 with the 512-bit population count.
template <>
struct KernelFamily<CountKernel> {
    static constexpr KernelMember kMembers[] = {
        {"portable", 0, true},
        {"popcnt", Features::kPopcnt, kX86Kernels},
        {"avx2", Features::kAvx2 | Features::kPopcnt, kX86Kernels},
        {"avx512", Features::kAvx512f | Features::kAvx512vpopcntdq, kX86Kernels}};
};

// EM: two lanes of plain arithmetic, four, or eight.
template <>
struct KernelFamily<EmKernel> {
    static constexpr KernelMember kMembers[] = {
        {"portable", 0, true}, {"avx2", Features::kAvx2, kX86Kernels}, {"avx512", Features::kAvx512f, kX86Kernels}};
};

// Bounds: the C library's scalar log and exp, or its vector variants of 4 or 8 lanes.
template <>
struct KernelFamily<BoundsKernel> {
    static constexpr KernelMember kMembers[] = {
        {"portable", 0, true}, {"avx2", Features::kAvx2, kVectorMath}, {"avx512", Features::kAvx512f, kVectorMath}};
};

template <class Kernel>
inline constexpr std::size_t kFamilySize = std::size(KernelFamily<Kernel>::kMembers);

// Every member of a family, the portable one first.
template <class Kernel>
constexpr std::array<Kernel, kFamilySize<Kernel>> allKernels() {
    std::array<Kernel, kFamilySize<Kernel>> kernels{};
    for (std::size_t k = 0; k < kernels.size(); ++k) kernels[k] = static_cast<Kernel>(k);
    return kernels;
}

template <class Kernel>
const char* kernelName(Kernel kernel) {
    const auto k = static_cast<std::size_t>(kernel);
    return k < kFamilySize<Kernel> ? KernelFamily<Kernel>::kMembers[k].name : "?";
}

// Whether this build has the kernel and this processor runs it.
template <class Kernel>
bool kernelRuns(Kernel kernel) {
    const auto k = static_cast<std::size_t>(kernel);
    if (k >= kFamilySize<Kernel>) return false;
    const KernelMember& member = KernelFamily<Kernel>::kMembers[k];
    return member.built && processorHas(member.features);
}

// The fastest member this processor runs.
template <class Kernel>
Kernel fastestKernel() {
    for (std::size_t k = kFamilySize<Kernel> - 1; k > 0; --k)
        if (kernelRuns(static_cast<Kernel>(k))) return static_cast<Kernel>(k);
    return static_cast<Kernel>(0);
}

// The kernels of a run, one per family: the fastest this processor runs unless a test or a benchmark
// chose another.
class KernelChoice {
public:
    template <class Kernel>
    Kernel get() const {
        return std::get<Kernel>(chosen_);
    }
    // Chooses a kernel; one the processor cannot run leaves the choice as it is and gives false.
    template <class Kernel>
    bool use(Kernel kernel) {
        if (!kernelRuns(kernel)) return false;
        std::get<Kernel>(chosen_) = kernel;
        return true;
    }

private:
    std::tuple<PackKernel, CountKernel, EmKernel, BoundsKernel> chosen_{
        fastestKernel<PackKernel>(), fastestKernel<CountKernel>(), fastestKernel<EmKernel>(),
        fastestKernel<BoundsKernel>()};
};

}  // namespace linkstat
