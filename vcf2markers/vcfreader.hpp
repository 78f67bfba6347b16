#pragma once
// Reading the records of a VCF, bgzipped VCF or BCF file through htslib: the header's
// individuals, decoding limited to the individuals in use, an optional region read through the
// file's index, and every failure turned into a one-line error.

#include <cstdint>
#include <string>
#include <vector>

#include <htslib/vcf.h>

#include "htshandles.hpp"

namespace vcf2markers {

// htslib adds a missing contig or tag definition to the header and reads the record on: those
// records are fine. Every other error code marks a malformed record.
inline constexpr int kHarmlessRecordErrors = BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF;

// The text for a record that cannot be read, after the file's name: NAME + readFailure(last),
// last being the position of the last record read (0 before the first).
std::string readFailure(std::int64_t lastPosition);

// Reads the next record of a file read from its start, as bcf_read does, except that a VCF line
// holding a NUL byte is refused: htslib's parser takes a NUL for the end of a column and, when only
// some individuals are decoded, then writes past its buffers. line is the buffer for VCF lines.
// Returns 0, -1 at the end of the file, or less for a record that cannot be read.
int readRecord(htsFile* file, bcf_hdr_t* header, bcf1_t* record, kstring_t& line);

// Throws ldtools::Error ("vcf2markers: NAME is truncated ...") when the file is compressed with
// bgzip and lacks its end-of-file block: reading it would silently lose its tail whenever the cut
// falls between two blocks. name is the file as the messages show it.
void checkEndOfFile(htsFile* file, const std::string& name);

// Opens a VCF, bgzipped VCF or BCF file. Throws ldtools::Error when it cannot be opened or is not
// a VCF or BCF file.
HtsPtr<htsFile> openVariantFile(const std::string& path);

class VcfReader {
public:
    // Opens the file and reads its header. Throws ldtools::Error when the file cannot be opened,
    // is not a VCF or BCF file, is a bgzip file without its end-of-file marker (truncated), has an
    // unreadable header or no individuals.
    explicit VcfReader(const std::string& path);
    ~VcfReader();
    VcfReader(const VcfReader&) = delete;
    VcfReader& operator=(const VcfReader&) = delete;

    // The file's individuals in header order.
    const std::vector<std::string>& samples() const { return samples_; }

    // Decodes only the individuals with these indices (ascending indices into samples()). Returns
    // where each of them stands in the genotype arrays that genotypes() hands out, in the same
    // order. Call before the first record.
    std::vector<int> keepSamples(const std::vector<int>& used);

    // Reads only the records whose position lies in the region (CHR, CHR:POS, CHR:FROM-TO or
    // CHR:FROM-, a name in braces for one that holds a colon), through the index next to the
    // file. Throws ldtools::Error for a file without an index, a malformed or ambiguous region or
    // a chromosome without records. An index older than the file gives a warning(). Call before
    // the first record.
    void setRegion(const std::string& region);
    // Lines for standard error that do not stop the run (an index older than its file); empty
    // when there are none.
    const std::string& warnings() const { return warnings_; }
    // The region's chromosome; empty without a region.
    const std::string& regionChromosome() const { return regionChromosome_; }
    // The region's first and last position (1-based, inclusive); the whole range without -r.
    std::int64_t regionFirst() const { return regionBegin_ + 1; }
    std::int64_t regionLast() const { return regionEnd_; }

    // Moves to the next record; false at the end of the file or region. Throws ldtools::Error for
    // a record that cannot be read (truncated or malformed file).
    bool next();

    // The current record.
    const bcf1_t& record() const { return *record_; }
    std::int64_t position() const { return record_->pos + 1; }
    const char* chromosome() const { return bcf_hdr_id2name(header_.get(), record_->rid); }
    // The genotypes of the current record, `ploidy` values per decoded individual (htslib's
    // encoding). Throws ldtools::Error when the record has no GT field.
    const std::int32_t* genotypes(int& ploidy);

private:
    [[noreturn]] void fail(const std::string& message) const;
    [[noreturn]] void failRead() const;
    void loadIndex();
    int readOne();

    std::string path_;
    HtsPtr<htsFile> file_;
    HtsPtr<bcf_hdr_t> header_;
    HtsPtr<bcf1_t> record_;
    std::vector<std::string> samples_;
    bool isBcf_ = false;
    HtsPtr<hts_idx_t> index_;  // BCF
    HtsPtr<tbx_t> tabix_;      // bgzipped VCF
    HtsPtr<hts_itr_t> iterator_;
    KString line_;
    std::string warnings_;
    std::string regionChromosome_;
    std::int64_t regionBegin_ = 0;  // 0-based, half open
    std::int64_t regionEnd_ = INT64_MAX;
    std::int64_t lastPosition_ = 0;
    std::unique_ptr<std::int32_t, decltype(&std::free)> genotypes_{nullptr, &std::free};
    int genotypesSize_ = 0;
};

}  // namespace vcf2markers
