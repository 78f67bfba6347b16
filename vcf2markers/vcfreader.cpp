#include "vcfreader.hpp"

#include <htslib/bgzf.h>
#include <htslib/hts.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "error.hpp"

namespace vcf2markers {
namespace {

// The chromosome names a region lookup asked about; the last one is the region's chromosome.
struct NameLookup {
    const bcf_hdr_t* header = nullptr;
    tbx_t* tabix = nullptr;
    std::string lastName;
};

int lookUpName(void* data, const char* name) {
    auto* lookup = static_cast<NameLookup*>(data);
    lookup->lastName = name;
    return lookup->tabix != nullptr ? tbx_name2id(lookup->tabix, name) : bcf_hdr_name2id(lookup->header, name);
}

}  // namespace

std::string readFailure(std::int64_t lastPosition) {
    if (lastPosition == 0) return ": cannot read the first record (truncated or malformed file)";
    return ": cannot read the record after position " + std::to_string(lastPosition) + " (truncated or malformed file)";
}

HtsPtr<htsFile> openVariantFile(const std::string& path) {
    errno = 0;
    HtsPtr<htsFile> file(hts_open(path.c_str(), "r"));
    if (!file) throw ldtools::Error("vcf2markers: cannot open " + path + ": " + ldtools::systemReason(errno) + "\n");
    const htsFormat* format = hts_get_format(file.get());
    if (format->category != variant_data || (format->format != vcf && format->format != bcf))
        throw ldtools::Error("vcf2markers: " + path + " is not a VCF or BCF file\n");
    return file;
}

VcfReader::VcfReader(const std::string& path) : path_(path), file_(openVariantFile(path)) {
    const htsFormat* format = hts_get_format(file_.get());
    isBcf_ = format->format == bcf;
    if (format->compression == bgzf) {
        // A bgzip file that lost its end-of-file block was cut short; reading it would silently
        // lose its tail whenever the cut falls between two blocks.
        const int eof = bgzf_check_EOF(hts_get_bgzfp(file_.get()));
        if (eof == 0) fail(path + " is truncated (its end-of-file marker is missing)");
        if (eof < 0) fail("cannot read " + path + ": " + ldtools::systemReason(errno));
    }
    header_.reset(bcf_hdr_read(file_.get()));
    if (!header_) fail(path + ": the VCF header cannot be read");
    const int count = bcf_hdr_nsamples(header_.get());
    if (count == 0) fail(path + " holds no individuals (no genotype columns)");
    samples_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) samples_.emplace_back(header_->samples[i]);
    record_.reset(bcf_init());
    if (!record_) throw std::bad_alloc();
}

VcfReader::~VcfReader() = default;

void VcfReader::fail(const std::string& message) const {
    throw ldtools::Error("vcf2markers: " + message + "\n");
}

void VcfReader::failRead() const {
    fail(path_ + readFailure(lastPosition_));
}

std::vector<int> VcfReader::keepSamples(const std::vector<int>& used) {
    std::vector<int> columns = used;
    if (used.size() == samples_.size()) return columns;
    // htslib takes the names as one comma list, in which "-" and a leading "^" mean something
    // else; names it cannot take that way are decoded with all the others.
    std::string list;
    for (const int index : used) {
        const std::string& name = samples_[static_cast<std::size_t>(index)];
        if (name.find(',') != std::string::npos) return columns;
        if (!list.empty()) list.push_back(',');
        list += name;
    }
    if (list == "-" || list.front() == '^') return columns;
    if (bcf_hdr_set_samples(header_.get(), list.c_str(), 0) != 0) fail(path_ + ": cannot select the individuals");
    for (std::size_t i = 0; i < columns.size(); ++i) columns[i] = static_cast<int>(i);
    return columns;
}

void VcfReader::setRegion(const std::string& region) {
    if (hts_get_format(file_.get())->compression != bgzf)
        fail("-r needs a bgzip-compressed file with an index; " + path_ + " is not compressed with bgzip");
    if (isBcf_) {
        index_.reset(bcf_index_load3(path_.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    } else {
        tabix_.reset(tbx_index_load3(path_.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    }
    if (!index_ && !tabix_)
        fail(path_ + " has no index (" + path_ + ".csi or .tbi), which -r needs");

    NameLookup lookup{header_.get(), tabix_.get(), {}};
    int tid = -1;
    hts_pos_t begin = 0;
    hts_pos_t end = 0;
    const char* parsed = hts_parse_region(region.c_str(), &tid, &begin, &end, lookUpName, &lookup,
                                          HTS_PARSE_THOUSANDS_SEP | HTS_PARSE_ONE_COORD);
    if (parsed == nullptr && tid == -1) fail(path_ + " holds no records on chromosome '" + lookup.lastName + "'");
    if (parsed == nullptr || *parsed != '\0' || begin >= end)
        fail("invalid region '" + region + "' (-r takes CHR:FROM-TO)");

    // A chromosome the header declares may still have no records: the index lists only those
    // that have some.
    int count = 0;
    const char** names = tabix_ ? tbx_seqnames(tabix_.get(), &count)
                                : bcf_index_seqnames(index_.get(), header_.get(), &count);
    const bool present = names != nullptr && std::any_of(names, names + count, [&](const char* name) {
                             return lookup.lastName == name;
                         });
    std::free(names);
    if (!present) fail(path_ + " holds no records on chromosome '" + lookup.lastName + "'");

    iterator_.reset(tabix_ ? tbx_itr_queryi(tabix_.get(), tid, begin, end)
                           : bcf_itr_queryi(index_.get(), tid, begin, end));
    if (!iterator_) fail(path_ + ": cannot read the region " + region + " through the index");
    regionChromosome_ = lookup.lastName;
    regionBegin_ = begin;
    regionEnd_ = end;
}

int VcfReader::readOne() {
    if (!iterator_) return bcf_read(file_.get(), header_.get(), record_.get());
    if (isBcf_) {
        const int status = bcf_itr_next(file_.get(), iterator_.get(), record_.get());
        if (status >= 0 && header_->keep_samples != nullptr && bcf_subset_format(header_.get(), record_.get()) != 0)
            return -2;
        return status;
    }
    const int status = tbx_itr_next(file_.get(), tabix_.get(), iterator_.get(), &line_.text);
    if (status < 0) return status;
    return vcf_parse(&line_.text, header_.get(), record_.get()) == 0 ? 0 : -2;
}

bool VcfReader::next() {
    for (;;) {
        const int status = readOne();
        if (status == -1) return false;
        if (status < -1 || (record_->errcode & ~kHarmlessRecordErrors) != 0) failRead();
        if (bcf_unpack(record_.get(), BCF_UN_STR) != 0) failRead();
        // A region query also yields the records that start before the region and reach into it.
        if (iterator_ && record_->pos < regionBegin_) continue;
        lastPosition_ = record_->pos + 1;
        return true;
    }
}

const std::int32_t* VcfReader::genotypes(int& ploidy) {
    std::int32_t* buffer = genotypes_.release();
    const int values = bcf_get_genotypes(header_.get(), record_.get(), &buffer, &genotypesSize_);
    genotypes_.reset(buffer);
    const int individuals = bcf_hdr_nsamples(header_.get());
    if (values <= 0 || individuals == 0)
        fail(path_ + ": position " + std::to_string(position()) + ": the record has no genotypes (GT)");
    ploidy = values / individuals;
    return genotypes_.get();
}

}  // namespace vcf2markers
