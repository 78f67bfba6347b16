// The marker file: the reader that splits lines into fields and packs each allele string while it is
// read, the recoding rules (AlleleCoder) and the tables of the current marker set.

#include "markers.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace linkstat {

namespace {

bool isFieldSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Positions must be printable as an int: finite and within 0 <= position < 2^31.
bool printablePosition(double position) {
    return std::isfinite(position) && position >= 0 && position < 2147483648.0;
}

}  // namespace

// ---- allele recoding ----------------------------------------------------------------------------------

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

// ---- packed allele codes ------------------------------------------------------------------------------

void PackedAlleles::reset(int nChromosomes) {
    const int words = wordsForChromosomes(static_cast<std::size_t>(nChromosomes));
    if (words != words_) blocks_.clear();
    words_ = words;
}

std::uint64_t* PackedAlleles::slot(int m) {
    const auto block = static_cast<std::size_t>(m / kBlockMarkers);
    const std::size_t stride = kPlanes * static_cast<std::size_t>(words_);
    if (blocks_.size() <= block) blocks_.resize(block + 1);
    // Not cleared: every slot is written in full before it is read, and untouched pages cost nothing.
    if (!blocks_[block]) blocks_[block].reset(new std::uint64_t[kBlockMarkers * stride]);
    return blocks_[block].get() + static_cast<std::size_t>(m % kBlockMarkers) * stride;
}

void PackedAlleles::decode(int m, int nChromosomes, char* out) const {
    const std::uint64_t* planes = (*this)[m];
    for (int k = 0; k < nChromosomes; ++k) out[k] = codeAt(planes, words_, static_cast<std::size_t>(k));
    out[nChromosomes] = '\0';
}

// ---- lines of the marker file -------------------------------------------------------------------------

MarkerReader::MarkerReader(ldtools::FileReader& input, const std::string& inputName, std::string_view missing,
                           std::size_t lineLimit, std::size_t fieldLimit, PackKernel kernel)
    : input_(input),
      inputName_(inputName),
      coder_(missing),
      lineLimit_(lineLimit),
      fieldLimit_(fieldLimit),
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
        const double position = std::atof(line_.text[0].c_str());
        if (!printablePosition(position)) throw MarkerError(MarkerError::Kind::badPosition, inputName_, lineNumber_);
        if (set.nMarkers() > 0 && position < set.positions()[set.nMarkers() - 1])
            throw MarkerError(MarkerError::Kind::positionOutOfOrder, inputName_, lineNumber_);
        const double ratio = std::atof(line_.text[2].c_str()) / std::atof(line_.text[1].c_str());
        set.add(position, ratio, line_, inputName_);
    }
    if (set.thirdAllele())
        throw MarkerError(MarkerError::Kind::moreThanTwoAlleles, inputName_, lineNumber_, *set.thirdAllele());
    return true;
}

bool MarkerReader::next(MarkerLine& line) {
    line.fields = 0;
    for (std::string& t : line.text) t.clear();
    line.alleleCount = 0;
    line.planes.clear();
    line.thirdAllele.reset();
    textEnded_ = inField_ = fieldTooLong_ = false;
    std::size_t length = 0;  // characters before the line break
    bool started = false;
    for (;;) {
        if (input_.available() == 0 && !input_.fill()) {
            if (!started) return false;
            break;  // a last line without a line break
        }
        started = true;
        const char* data = input_.data();
        const std::size_t available = input_.available();
        const char* lineBreak = static_cast<const char*>(std::memchr(data, '\n', available));
        const std::size_t take = lineBreak ? static_cast<std::size_t>(lineBreak - data) : available;
        if (take > lineLimit_ - length) throw MarkerError(MarkerError::Kind::lineTooLong, inputName_, lineNumber_ + 1);
        scan(data, take, line);
        length += take;
        input_.consume(take + (lineBreak ? 1 : 0));
        if (lineBreak) break;
    }
    ++lineNumber_;
    if (inField_) endField(line);
    if (fieldTooLong_) throw MarkerError(MarkerError::Kind::fieldTooLong, inputName_, lineNumber_);
    return true;
}

void MarkerReader::scan(const char* p, std::size_t n, MarkerLine& line) {
    std::size_t i = 0;
    while (i < n && !textEnded_) {
        if (p[i] == '\0') {
            if (inField_) endField(line);
            textEnded_ = true;
            return;
        }
        if (isFieldSpace(p[i])) {
            if (inField_) endField(line);
            ++i;
            continue;
        }
        if (!inField_) {
            if (line.fields == 4) {  // fields after the fourth are not read
                textEnded_ = true;
                return;
            }
            inField_ = true;
            fieldLength_ = 0;
            if (line.fields == 3) {
                coder_.start();
                std::fill(std::begin(word_), std::end(word_), 0);
            }
        }
        std::size_t j = i;
        while (j < n && p[j] != '\0' && !isFieldSpace(p[j])) ++j;
        fieldLength_ += j - i;
        if (fieldLength_ > fieldLimit_) fieldTooLong_ = true;
        if (!fieldTooLong_) {
            if (line.fields < 3)
                line.text[line.fields].append(p + i, j - i);
            else
                addAlleles(p + i, j - i, line);
        }
        i = j;
    }
}

void MarkerReader::endField(MarkerLine& line) {
    if (line.fields == 3) finishAlleles(line);
    ++line.fields;
    inField_ = false;
}

// Packs chromosomes into the words of the current block of 64 individuals (word_, one per plane); the
// planes of a line are kept block by block: word w of plane p is planes[kPlanes * w + p]. A whole block
// whose characters are all alleles already met goes at once (packBlock_).
void MarkerReader::addAlleles(const char* p, std::size_t n, MarkerLine& line) {
    for (std::size_t i = 0; i < n;) {
        if (packBlock_ && (line.alleleCount & 127) == 0 && n - i >= 128 && !line.thirdAllele &&
            coder_.alleleCount() > 0) {
            const bool both = coder_.alleleCount() == 2;
            std::uint64_t words[kPlanes];
            if (packBlock_(p + i, coder_.allele(0), both ? coder_.allele(1) : coder_.allele(0), both, words)) {
                line.planes.insert(line.planes.end(), std::begin(words), std::end(words));
                line.alleleCount += 128;
                i += 128;
                continue;
            }
        }
        // one character at a time, up to the end of the block
        for (const std::size_t end = std::min(n, i + 128 - (line.alleleCount & 127)); i < end; ++i) {
            const std::size_t k = line.alleleCount++;
            const int allele = coder_.classify(static_cast<unsigned char>(p[i]));
            if (line.thirdAllele) {
                line.thirdAllele->push_back(allele == AlleleCoder::kMissing ? '-' : p[i]);
            } else if (allele == AlleleCoder::kThird) {
                noteThirdAllele(p, n, i, line);
            }
            const std::uint64_t bit = std::uint64_t{1} << (k >> 1 & 63);
            const std::size_t plane = 2 * (k & 1);
            if (allele == AlleleCoder::kMissing) word_[plane + 1] |= bit;
            if (allele == 1) word_[plane] |= bit;
            if ((k & 127) == 127) {
                line.planes.insert(line.planes.end(), std::begin(word_), std::end(word_));
                std::fill(std::begin(word_), std::end(word_), 0);
            }
        }
    }
}

// The string so far with its alleles as written and every missing character as "-", for the message.
void MarkerReader::noteThirdAllele(const char* p, std::size_t n, std::size_t at, MarkerLine& line) {
    const std::size_t k = line.alleleCount - 1;
    std::string text;
    text.reserve(k + 1 + n - at);
    for (std::size_t c = 0; c < k; ++c) {
        const std::size_t block = c >> 7;
        const std::size_t plane = 2 * (c & 1);
        const std::uint64_t* words = block * kPlanes < line.planes.size() ? &line.planes[block * kPlanes] : word_;
        const std::uint64_t bit = std::uint64_t{1} << (c >> 1 & 63);
        text.push_back(words[plane + 1] & bit ? '-' : coder_.allele(words[plane] & bit ? 1 : 0));
    }
    text.push_back(p[at]);
    line.thirdAllele = std::move(text);
}

// Completes the last block, marks the places past the last chromosome as missing, and turns the allele
// numbers into codes.
void MarkerReader::finishAlleles(MarkerLine& line) {
    const std::size_t n = line.alleleCount;
    if (n % 128 != 0) line.planes.insert(line.planes.end(), std::begin(word_), std::end(word_));
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
