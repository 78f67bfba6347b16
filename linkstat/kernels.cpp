#include "kernels.hpp"

namespace linkstat {

namespace {

unsigned detectFeatures() {
    unsigned features = 0;
#ifdef LDTOOLS_X86_KERNELS
    // The detection may run before the C++ runtime's own constructors have filled the CPU model.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("popcnt")) features |= Features::kPopcnt;
    if (__builtin_cpu_supports("bmi2")) features |= Features::kBmi2;
    if (__builtin_cpu_supports("avx2")) features |= Features::kAvx2;
    if (__builtin_cpu_supports("avx512f")) features |= Features::kAvx512f;
    if (__builtin_cpu_supports("avx512bw")) features |= Features::kAvx512bw;
    if (__builtin_cpu_supports("avx512vpopcntdq")) features |= Features::kAvx512vpopcntdq;
#endif
    return features;
}

}  // namespace

bool processorHas(unsigned features) {
    static const unsigned present = detectFeatures();
    return (present & features) == features;
}

}  // namespace linkstat
