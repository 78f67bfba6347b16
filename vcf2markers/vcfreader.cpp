#include "vcfreader.hpp"

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/kseq.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "error.hpp"

namespace vcf2markers {
namespace {

// The chromosome names a region lookup asked about, and those of them the file has; the last
// name asked about is the region's chromosome.
struct NameLookup {
    const bcf_hdr_t* header = nullptr;
    tbx_t* tabix = nullptr;
    std::string lastName;
    std::vector<std::string> found;
};

int lookUpName(void* data, const char* name) {
    auto* lookup = static_cast<NameLookup*>(data);
    lookup->lastName = name;
    const int id = lookup->tabix != nullptr ? tbx_name2id(lookup->tabix, name) : bcf_hdr_name2id(lookup->header, name);
    if (id >= 0) lookup->found.push_back(name);
    return id;
}

// The index files htslib looks for next to a data file, in its order: NAME.csi, then NAME with its
// last suffix replaced by .csi; for a VCF then the same with .tbi.
std::vector<std::string> indexNames(const std::string& path, bool bcf) {
    std::vector<std::string> names;
    const std::size_t dot = path.find_last_of("./");
    for (const char* suffix : {".csi", ".tbi"}) {
        if (bcf && std::string_view(suffix) == ".tbi") break;
        names.push_back(path + suffix);
        if (dot != std::string::npos && dot > 0 && path[dot] == '.' && path[dot - 1] != '/')
            names.push_back(path.substr(0, dot) + suffix);
    }
    return names;
}

bool olderThan(const struct stat& first, const struct stat& second) {
    if (first.st_mtim.tv_sec != second.st_mtim.tv_sec) return first.st_mtim.tv_sec < second.st_mtim.tv_sec;
    return first.st_mtim.tv_nsec < second.st_mtim.tv_nsec;
}

}  // namespace

std::string readFailure(std::int64_t lastPosition) {
    if (lastPosition == 0) return ": cannot read the first record (truncated or malformed file)";
    return ": cannot read the record after position " + std::to_string(lastPosition) + " (truncated or malformed file)";
}

namespace {

// A VCF line, as htslib parses it, holds no NUL byte.
int parseLine(kstring_t& line, bcf_hdr_t* header, bcf1_t* record) {
    if (std::memchr(line.s, '\0', line.l) != nullptr) return -2;
    return vcf_parse(&line, header, record) == 0 ? 0 : -2;
}

}  // namespace

int readRecord(htsFile* file, bcf_hdr_t* header, bcf1_t* record, kstring_t& line) {
    if (hts_get_format(file)->format == bcf) return bcf_read(file, header, record);
    const int status = hts_getline(file, KS_SEP_LINE, &line);
    return status < 0 ? status : parseLine(line, header, record);
}

void checkEndOfFile(htsFile* file, const std::string& name) {
    if (hts_get_format(file)->compression != bgzf) return;
    const int eof = bgzf_check_EOF(hts_get_bgzfp(file));
    if (eof == 0) throw ldtools::Error("vcf2markers: " + name + " is truncated (its end-of-file marker is missing)\n");
    if (eof < 0) throw ldtools::Error("vcf2markers: cannot read " + name + ": " + ldtools::systemReason(errno) + "\n");
}

HtsPtr<htsFile> openVariantFile(const std::string& path) {
    errno = 0;
    HtsPtr<htsFile> file(hts_open(path.c_str(), "r"));
    // htslib opens only the kinds of file it recognises, and fails with ENOEXEC for the others.
    if (!file && errno == ENOEXEC) throw ldtools::Error("vcf2markers: " + path + " is not a VCF or BCF file\n");
    if (!file) throw ldtools::Error("vcf2markers: cannot open " + path + ": " + ldtools::systemReason(errno) + "\n");
    const htsFormat* format = hts_get_format(file.get());
    if (format->category != variant_data || (format->format != vcf && format->format != bcf))
        throw ldtools::Error("vcf2markers: " + path + " is not a VCF or BCF file\n");
    return file;
}

VcfReader::VcfReader(const std::string& path) : path_(path), file_(openVariantFile(path)) {
    const htsFormat* format = hts_get_format(file_.get());
    isBcf_ = format->format == bcf;
    checkEndOfFile(file_.get(), path);
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
    loadIndex();
    if (!index_ && !tabix_)
        fail(path_ + " has no index (" + path_ + ".csi or .tbi), which -r needs");

    NameLookup lookup{header_.get(), tabix_.get(), {}, {}};
    int tid = -1;
    hts_pos_t begin = 0;
    hts_pos_t end = 0;
    const char* parsed = hts_parse_region(region.c_str(), &tid, &begin, &end, lookUpName, &lookup,
                                          HTS_PARSE_THOUSANDS_SEP | HTS_PARSE_ONE_COORD);
    // "A:1" when the file has chromosomes "A" and "A:1": either could be meant.
    if (parsed == nullptr && lookup.found.size() >= 2) {
        const bool longerFirst = lookup.found[0].size() > lookup.found[1].size();
        const std::string& whole = lookup.found[longerFirst ? 0 : 1];
        const std::string& front = lookup.found[longerFirst ? 1 : 0];
        fail("-r " + region + " is ambiguous: " + path_ + " has chromosomes '" + front + "' and '" + whole +
             "'; write {" + whole + "} for the chromosome " + whole + " or {" + front + "}" + region.substr(front.size()) +
             " for a region of " + front);
    }
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

// Loads the index next to the file, found as htslib finds it, and notes a warning when it is older
// than the file: records added since are not in it, and htslib's own warning is switched off with
// the rest of its log.
void VcfReader::loadIndex() {
    for (const std::string& name : indexNames(path_, isBcf_)) {
        struct stat indexInfo {};
        if (::stat(name.c_str(), &indexInfo) != 0) continue;
        if (isBcf_) {
            index_.reset(bcf_index_load3(path_.c_str(), name.c_str(), HTS_IDX_SILENT_FAIL));
        } else {
            tabix_.reset(tbx_index_load3(path_.c_str(), name.c_str(), HTS_IDX_SILENT_FAIL));
        }
        struct stat dataInfo {};
        if ((index_ || tabix_) && ::stat(path_.c_str(), &dataInfo) == 0 && olderThan(indexInfo, dataInfo))
            warnings_ += "vcf2markers: the index " + name + " is older than " + path_ +
                         "; if the file changed since, rebuild the index, or records may be missed\n";
        return;
    }
    // Names htslib finds in other ways (an index named after "##idx##", a remote file).
    if (isBcf_) {
        index_.reset(bcf_index_load3(path_.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    } else {
        tabix_.reset(tbx_index_load3(path_.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
    }
}

int VcfReader::readOne() {
    if (!iterator_) return readRecord(file_.get(), header_.get(), record_.get(), line_.text);
    if (isBcf_) {
        const int status = bcf_itr_next(file_.get(), iterator_.get(), record_.get());
        if (status >= 0 && header_->keep_samples != nullptr && bcf_subset_format(header_.get(), record_.get()) != 0)
            return -2;
        return status;
    }
    const int status = tbx_itr_next(file_.get(), tabix_.get(), iterator_.get(), &line_.text);
    return status < 0 ? status : parseLine(line_.text, header_.get(), record_.get());
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
    // htslib ends the process when it is asked to decode GT values stored other than as whole
    // numbers (which only a damaged BCF file holds).
    const bcf_fmt_t* field = bcf_get_fmt(header_.get(), record_.get(), "GT");
    if (field != nullptr && field->type != BCF_BT_INT8 && field->type != BCF_BT_INT16 && field->type != BCF_BT_INT32)
        fail(path_ + ": position " + std::to_string(position()) + ": the GT values are not whole numbers");
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
