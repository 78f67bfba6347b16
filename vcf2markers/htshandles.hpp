#pragma once
// Owners of htslib's objects, so that every way out of a function (errors included) closes and
// frees them.

#include <cstdlib>
#include <memory>

#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

namespace vcf2markers {

struct HtsDeleter {
    void operator()(htsFile* file) const { hts_close(file); }
    void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
    void operator()(bcf1_t* record) const { bcf_destroy(record); }
    void operator()(hts_idx_t* index) const { hts_idx_destroy(index); }
    void operator()(tbx_t* index) const { tbx_destroy(index); }
    void operator()(hts_itr_t* iterator) const { hts_itr_destroy(iterator); }
};

template <typename T>
using HtsPtr = std::unique_ptr<T, HtsDeleter>;

// A text buffer that htslib grows and this owner frees.
struct KString {
    kstring_t text = {0, 0, nullptr};
    KString() = default;
    KString(const KString&) = delete;
    KString& operator=(const KString&) = delete;
    ~KString() { std::free(text.s); }
};

}  // namespace vcf2markers
