// The marker file: the reader that turns the lines of the formats layer into marker sets and packs each
// allele string as it is read, and the tables of the current marker set.

#include "markers.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace linkstat {

namespace {

// Positions must be printable as an int: finite and within 0 <= position < 2^31.
bool printablePosition(double position) {
    return std::isfinite(position) && position >= 0 && position < 2147483648.0;
}

}  // namespace

// ---- allele recoding ----------------------------------------------------------------------------------

std::string withMissingShown(std::string_view alleles, const ldtools::AlleleCoder& coder) {
    std::string text(alleles);
    for (char& c : text)
        if (coder.isMissing(static_cast<unsigned char>(c))) c = '-';
    return text;
}

// ---- packed allele codes ------------------------------------------------------------------------------

void PackedAlleles::reset(int nChromosomes) {
    const int words = wordsForChromosomes(static_cast<std::size_t>(nChromosomes));
    if (words == words_) return;
    blocks_.clear();
    words_ = words;
    stride_ = kPlanes * static_cast<std::size_t>(words);
    // (and at most 2^20 markers, whatever the stride)
    for (blockShift_ = 10; blockShift_ < 20 && (stride_ * sizeof(std::uint64_t)) << blockShift_ < kBlockBytes;) ++blockShift_;
}

std::uint64_t* PackedAlleles::slot(int m) {
    const auto i = static_cast<std::size_t>(m);
    const std::size_t block = i >> blockShift_;
    if (blocks_.size() <= block) blocks_.resize(block + 1);
    // Not initialised: every slot is written in full before it is read, and untouched pages cost nothing.
    if (blocks_[block].size() == 0) blocks_[block] = ldtools::LargeArray<std::uint64_t>(stride_ << blockShift_);
    return at(i);
}

void PackedAlleles::decode(int m, int nChromosomes, char* out) const {
    const std::uint64_t* planes = (*this)[m];
    for (int k = 0; k < nChromosomes; ++k) out[k] = codeAt(planes, words_, static_cast<std::size_t>(k));
    out[nChromosomes] = '\0';
}

// ---- lines of the marker file -------------------------------------------------------------------------

MarkerReader::MarkerReader(ldtools::FileReader& input, const std::string& inputName, std::string_view missing,
                           std::size_t lineLimit, std::size_t fieldLimit, PackKernel kernel)
    : lines_(input, {.layout = ldtools::MarkerLayout::lines, .maxWord = fieldLimit, .maxLine = lineLimit}),
      inputName_(inputName),
      coder_(missing),
      packBlock_(packBlockKernel(kernel)) {}

bool MarkerReader::nextSet(MarkerSet& set) {
    if (ended_) return false;
    set.clear();
    for (;;) {
        if (!next(line_)) {
            ended_ = true;
            break;
        }
        if (line_.fields < 4) break;
        const std::string* text = line_.words.words;
        const double position = std::atof(text[0].c_str());
        if (!printablePosition(position)) throw MarkerError(MarkerError::Kind::badPosition, inputName_, lineNumber());
        if (set.nMarkers() > 0 && position < set.positions()[set.nMarkers() - 1])
            throw MarkerError(MarkerError::Kind::positionOutOfOrder, inputName_, lineNumber());
        const double ratio = std::atof(text[2].c_str()) / std::atof(text[1].c_str());
        set.add(position, ratio, line_, inputName_);
    }
    if (set.thirdAllele())
        throw MarkerError(MarkerError::Kind::moreThanTwoAlleles, inputName_, lineNumber(), *set.thirdAllele());
    return true;
}

bool MarkerReader::next(MarkerLine& line) {
    line.alleleCount = 0;
    line.planes.clear();
    line.thirdAllele.reset();
    const ldtools::MarkerRead read = lines_.next(line.words);
    line.fields = line.words.count;
    switch (read) {
        case ldtools::MarkerRead::end: return false;
        case ldtools::MarkerRead::lineTooLong:
            throw MarkerError(MarkerError::Kind::lineTooLong, inputName_, lineNumber());
        case ldtools::MarkerRead::wordTooLong:
            throw MarkerError(MarkerError::Kind::fieldTooLong, inputName_, lineNumber());
        case ldtools::MarkerRead::marker: pack(line.words.alleles, line); break;
        case ldtools::MarkerRead::setEnd:
        case ldtools::MarkerRead::incomplete: break;
    }
    return true;
}

// Packs the chromosomes of an allele string block by block: 128 chromosomes (64 individuals) make one
// word per plane, and word w of plane p is planes[kPlanes * w + p]. A whole block whose characters are
// all alleles already met goes at once (packBlock_); the others go one character at a time.
void MarkerReader::pack(std::string_view alleles, MarkerLine& line) {
    coder_.start();
    const char* p = alleles.data();
    const std::size_t n = alleles.size();
    std::uint64_t word[kPlanes] = {};
    // The string's alleles first, in the order they first appear (as the loop below would number them),
    // so that its first block can be packed whole too.
    if (packBlock_)
        for (std::size_t i = 0; i < n && coder_.alleleCount() < 2; ++i) coder_.classify(static_cast<unsigned char>(p[i]));
    for (std::size_t i = 0; i < n;) {
        if (packBlock_ && (i & 127) == 0 && n - i >= 128 && !line.thirdAllele && coder_.alleleCount() > 0) {
            const bool both = coder_.alleleCount() == 2;
            std::uint64_t words[kPlanes];
            if (packBlock_(p + i, coder_.allele(0), both ? coder_.allele(1) : coder_.allele(0), both, words)) {
                line.planes.insert(line.planes.end(), std::begin(words), std::end(words));
                i += 128;
                continue;
            }
        }
        // one character at a time, up to the end of the block
        for (const std::size_t end = std::min(n, (i | 127) + 1); i < end; ++i) {
            const int allele = coder_.classify(static_cast<unsigned char>(p[i]));
            if (allele == ldtools::AlleleCoder::kThird && !line.thirdAllele)
                line.thirdAllele = withMissingShown(alleles, coder_);
            const std::uint64_t bit = std::uint64_t{1} << (i >> 1 & 63);
            const std::size_t plane = 2 * (i & 1);
            if (allele == ldtools::AlleleCoder::kMissing) word[plane + 1] |= bit;
            if (allele == 1) word[plane] |= bit;
            if ((i & 127) == 127) {
                line.planes.insert(line.planes.end(), std::begin(word), std::end(word));
                std::fill(std::begin(word), std::end(word), 0);
            }
        }
    }
    line.alleleCount = n;
    if (n % 128 != 0) line.planes.insert(line.planes.end(), std::begin(word), std::end(word));
    finishAlleles(line);
}

// Marks the places past the last chromosome as missing, and turns the allele numbers into codes.
void MarkerReader::finishAlleles(MarkerLine& line) {
    const std::size_t n = line.alleleCount;
    const std::size_t words = line.planes.size() / kPlanes;
    if (words > 0) {
        std::uint64_t* last = &line.planes[(words - 1) * kPlanes];
        const std::size_t individuals[2] = {(n + 1) / 2, n / 2};
        for (int s = 0; s < 2; ++s) {
            const std::size_t valid = individuals[s] - 64 * (words - 1);
            if (valid < 64) last[2 * s + 1] |= ~std::uint64_t{0} << valid;
        }
    }
    if (coder_.alleleCount() > 0 && coder_.codes()[0] == '1') {
        for (std::size_t w = 0; w < words; ++w) {
            std::uint64_t* block = &line.planes[w * kPlanes];
            block[0] = ~block[0] & ~block[1];
            block[2] = ~block[2] & ~block[3];
        }
    }
}

// ---- the current marker set ---------------------------------------------------------------------------

MarkerSet::MarkerSet() : positions_(kFirstCapacity), ratios_(kFirstCapacity) {}

void MarkerSet::add(double position, double ratio, MarkerLine& line, const std::string& inputName) {
    if (nMarkers_ == 0) {
        nChromosomes_ = static_cast<int>(line.alleleCount);
        alleles_.reset(nChromosomes_);
    } else if (line.alleleCount != static_cast<std::size_t>(nChromosomes_)) {
        throw MarkerError(MarkerError::Kind::wrongChromosomes, inputName, nMarkers_ + 1);
    }
    positions_[static_cast<std::size_t>(nMarkers_)] = position;
    ratios_[static_cast<std::size_t>(nMarkers_)] = ratio;
    std::uint64_t* planes = alleles_.slot(nMarkers_);
    const std::size_t words = static_cast<std::size_t>(alleles_.words());
    for (std::size_t w = 0; w < words; ++w)
        for (std::size_t p = 0; p < kPlanes; ++p) planes[p * words + w] = line.planes[w * kPlanes + p];
    if (line.thirdAllele && !thirdAllele_) thirdAllele_ = std::move(line.thirdAllele);
    ++nMarkers_;
    if (static_cast<std::size_t>(nMarkers_) == positions_.size()) {
        positions_.resize(positions_.size() + 1000);
        ratios_.resize(ratios_.size() + 1000);
    }
}

void MarkerSet::clear() {
    nMarkers_ = 0;
    nChromosomes_ = 0;
    thirdAllele_.reset();
}

}  // namespace linkstat
