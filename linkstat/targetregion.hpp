#pragma once
// The one way the vector kernels are compiled for an instruction set that the default build does not
// assume (they are chosen at run time after a check of the processor, kernels.hpp): a region of a file
// between LDTOOLS_TARGET_BEGIN and LDTOOLS_TARGET_END. GCC takes `#pragma GCC target`; clang ignores
// that pragma and takes a target attribute pushed onto every function of the region, lambdas included.
//
//   #ifdef LDTOOLS_X86_KERNELS
//   LDTOOLS_TARGET_BEGIN("avx2,popcnt")
//   namespace avx2 { ... }
//   LDTOOLS_TARGET_END
//   #endif

// The x86 kernels are compiled with GCC or clang for x86-64; the bounds kernels also need the C
// library's vector logarithm and exponential, which glibc provides (any C library header defines
// __GLIBC__ there).
#include <cstdlib>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LDTOOLS_X86_KERNELS 1
#if defined(__GLIBC__)
#define LDTOOLS_VECTOR_MATH 1
#endif
#endif

#define LDTOOLS_PRAGMA(text) _Pragma(#text)

#if defined(__clang__)
#define LDTOOLS_TARGET_BEGIN(isa) \
    LDTOOLS_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define LDTOOLS_TARGET_END LDTOOLS_PRAGMA(clang attribute pop)
#else
#define LDTOOLS_TARGET_BEGIN(isa) LDTOOLS_PRAGMA(GCC push_options) LDTOOLS_PRAGMA(GCC target(isa))
#define LDTOOLS_TARGET_END LDTOOLS_PRAGMA(GCC pop_options)
#endif
