#include "sitefilter.hpp"

#include <string>

namespace vcf2markers {
namespace {

bool isBase(const char* allele) {
    if (allele[0] == '\0' || allele[1] != '\0') return false;
    switch (allele[0]) {
    case 'A': case 'C': case 'G': case 'T':
    case 'a': case 'c': case 'g': case 't':
        return true;
    default:
        return false;
    }
}

}  // namespace

Skip alleleVerdict(const bcf1_t& record) {
    if (record.n_allele > 2) return Skip::multiAllelic;
    if (record.n_allele < 2) return Skip::monomorphic;
    const char* ref = record.d.allele[0];
    const char* alt = record.d.allele[1];
    // An ALT that repeats the REF letter is no variant at all.
    const bool snp = isBase(ref) && isBase(alt) && (ref[0] & ~0x20) != (alt[0] & ~0x20);
    return snp ? Skip::none : Skip::otherAlleles;
}

std::string genotypeText(const std::int32_t* values, int ploidy) {
    std::string text;
    for (int i = 0; i < ploidy && values[i] != bcf_int32_vector_end; ++i) {
        if (i > 0) text.push_back(bcf_gt_is_phased(values[i]) ? '|' : '/');
        if (bcf_gt_is_missing(values[i])) {
            text.push_back('.');
        } else {
            text += std::to_string(bcf_gt_allele(values[i]));
        }
    }
    return text.empty() ? std::string(".") : text;
}

}  // namespace vcf2markers
