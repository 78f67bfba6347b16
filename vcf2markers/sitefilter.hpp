#pragma once
// Which records become SNPs of the output, and the reasons the others are skipped.

#include <cstdint>
#include <string>

#include <htslib/vcf.h>

namespace vcf2markers {

enum class Skip { none, belowMaf, monomorphic, otherAlleles, multiAllelic, duplicatePosition };

// The verdict on a record's alleles alone: none for one REF and one ALT letter of A/C/G/T (in
// either case, and not the same letter); multiAllelic for more than one ALT; monomorphic for a record without ALT ('.');
// otherAlleles for everything else (indels, symbolic alleles, N, '*').
Skip alleleVerdict(const bcf1_t& record);

// The verdict on the marker individuals' alleles: called alleles, ac of them ALT.
inline Skip frequencyVerdict(int called, int ac, double minMaf) {
    if (ac == 0 || ac == called) return Skip::monomorphic;
    const int minor = ac < called - ac ? ac : called - ac;
    return static_cast<double>(minor) / called < minMaf ? Skip::belowMaf : Skip::none;
}

// One individual's genotype, decoded from htslib's encoding.
struct Genotype {
    // 0 REF, 1 ALT, kMissingAllele; a larger number names an allele the record does not have;
    // kNoGenotype or kBadCode for values that name no allele at all.
    int first = -1;
    int second = -1;
    bool phased = false;  // the second allele is phased to the first
    bool diploid = true;  // false for one allele (other than a lone missing '.') or more than two
};

inline constexpr int kMissingAllele = -1;  // '.'
inline constexpr int kNoGenotype = -2;     // the individual's column ends before its GT value
inline constexpr int kBadCode = -3;        // a negative code that is no value of the encoding

inline int alleleOf(std::int32_t value) {
    if (value == bcf_int32_vector_end) return kMissingAllele;
    if (value == bcf_int32_missing) return kNoGenotype;
    if (value < 0) return kBadCode;
    return (value >> 1) - 1;  // the codes 0 and 1 are a missing allele
}

// values: the individual's `ploidy` entries of a genotype array. A lone missing value ('.')
// counts as a missing diploid genotype.
inline Genotype decodeGenotype(const std::int32_t* values, int ploidy) {
    Genotype genotype;
    genotype.first = alleleOf(values[0]);
    if (ploidy >= 2 && values[1] != bcf_int32_vector_end) {
        genotype.second = alleleOf(values[1]);
        genotype.phased = bcf_gt_is_phased(values[1]);
        genotype.diploid = ploidy == 2 || values[2] == bcf_int32_vector_end;
    } else {
        genotype.diploid = genotype.first == -1;
    }
    return genotype;
}

// The genotype as VCF writes it ("0|1", "./.", "1"), for messages; only for values that name
// alleles or the missing allele.
std::string genotypeText(const std::int32_t* values, int ploidy);

}  // namespace vcf2markers
