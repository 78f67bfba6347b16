#pragma once
// Compiles a region of a file for an instruction set that the default build does not assume (the vector
// kernels, chosen at run time after a CPU check). GCC takes `#pragma GCC target`; clang ignores that
// pragma and takes a target attribute pushed onto every function of the region, lambdas included.
//
//   LINKSTAT_TARGET_BEGIN("avx2,popcnt")
//   namespace avx2 { ... }
//   LINKSTAT_TARGET_END

#define LINKSTAT_PRAGMA(text) _Pragma(#text)

#if defined(__clang__)
#define LINKSTAT_TARGET_BEGIN(isa) \
    LINKSTAT_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define LINKSTAT_TARGET_END LINKSTAT_PRAGMA(clang attribute pop)
#else
#define LINKSTAT_TARGET_BEGIN(isa) LINKSTAT_PRAGMA(GCC push_options) LINKSTAT_PRAGMA(GCC target(isa))
#define LINKSTAT_TARGET_END LINKSTAT_PRAGMA(GCC pop_options)
#endif
