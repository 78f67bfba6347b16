#include "markerformat.hpp"

namespace ldtools {

AlleleCoder::AlleleCoder(std::string_view missing) {
    table_.fill(kNew);
    table_[static_cast<unsigned char>('-')] = kMissing;
    for (const char c : missing) table_[static_cast<unsigned char>(c)] = kMissing;
}

void AlleleCoder::start() {
    for (int a = 0; a < nAlleles_; ++a) table_[static_cast<unsigned char>(alleles_[a])] = kNew;
    nAlleles_ = 0;
}

int AlleleCoder::addAllele(unsigned char c) {
    if (nAlleles_ == 2) return kThird;
    alleles_[nAlleles_] = static_cast<char>(c);
    table_[c] = static_cast<std::int8_t>(nAlleles_);
    return nAlleles_++;
}

std::array<char, 2> AlleleCoder::codes() const {
    bool codeFree[2] = {true, true};
    for (int a = 0; a < nAlleles_; ++a)
        if (alleles_[a] == '0' || alleles_[a] == '1') codeFree[alleles_[a] - '0'] = false;
    std::array<char, 2> code = {'0', '1'};
    for (int a = 0; a < nAlleles_; ++a) {
        if (alleles_[a] == '0' || alleles_[a] == '1') {
            code[static_cast<std::size_t>(a)] = alleles_[a];
            continue;
        }
        const int free = codeFree[0] ? 0 : 1;
        codeFree[free] = false;
        code[static_cast<std::size_t>(a)] = static_cast<char>('0' + free);
    }
    return code;
}

bool recodeAlleles(char* alleles, std::size_t length, AlleleCoder& coder) {
    coder.start();
    for (std::size_t k = 0; k < length; ++k)
        if (coder.classify(static_cast<unsigned char>(alleles[k])) == AlleleCoder::kThird) return false;
    const std::array<char, 2> code = coder.codes();
    for (std::size_t k = 0; k < length; ++k) {
        const int allele = coder.classify(static_cast<unsigned char>(alleles[k]));
        alleles[k] = allele == AlleleCoder::kMissing ? '-' : code[static_cast<std::size_t>(allele)];
    }
    return true;
}

}  // namespace ldtools
