#include "describe.hpp"

#include <htslib/bgzf.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "arguments.hpp"
#include "error.hpp"
#include "htshandles.hpp"
#include "vcfreader.hpp"

namespace vcf2markers {
namespace {

// Region queries start from a position this high at the least when they look for the last record:
// a few doublings reach any chromosome's end, a few dozen halvings find the record.
constexpr std::int64_t kFirstProbe = std::int64_t{1} << 20;
// No record lies this far; the doubling stops here.
constexpr std::int64_t kProbeLimit = std::int64_t{1} << 62;

[[noreturn]] void fail(const std::string& message) {
    throw ldtools::Error("vcf2markers: " + message + "\n");
}

// A bgzipped VCF (tabix or CSI index) or BCF file with its header and index, for region queries.
class IndexedFile {
public:
    explicit IndexedFile(const std::string& path) : path_(path), file_(openVariantFile(path)) {
        const htsFormat* format = hts_get_format(file_.get());
        if (format->compression != bgzf)
            fail("--describe needs a bgzip-compressed file with an index; " + path + " is not compressed with bgzip");
        header_.reset(bcf_hdr_read(file_.get()));
        if (!header_) fail(path + ": the VCF header cannot be read");
        if (format->format == bcf) {
            index_.reset(bcf_index_load3(path.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
        } else {
            tabix_.reset(tbx_index_load3(path.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
        }
        if (!index_ && !tabix_) fail(path + " has no index (" + path + ".csi or .tbi), which --describe needs");
        record_.reset(bcf_init());
        if (!record_) throw std::bad_alloc();
    }

    // The chromosomes the index lists, in its order.
    std::vector<std::string> names() const {
        int count = 0;
        const char** listed = tabix_ ? tbx_seqnames(tabix_.get(), &count)
                                     : bcf_index_seqnames(index_.get(), header_.get(), &count);
        std::vector<std::string> result(listed, listed + (listed != nullptr ? count : 0));
        std::free(listed);
        return result;
    }

    // The header's length of the chromosome; 0 when it declares none.
    std::int64_t declaredLength(const std::string& name) const {
        const int id = bcf_hdr_name2id(header_.get(), name.c_str());
        // htslib keeps a contig's length as the first info value of its dictionary entry.
        return id < 0 ? 0 : static_cast<std::int64_t>(header_->id[BCF_DT_CTG][id].val->info[0]);
    }

    // True when a record of the chromosome starts at position (1-based) or later.
    bool startsAtOrAfter(const std::string& name, std::int64_t position) {
        const int tid = tabix_ ? tbx_name2id(tabix_.get(), name.c_str()) : bcf_hdr_name2id(header_.get(), name.c_str());
        HtsPtr<hts_itr_t> iterator(tabix_ ? tbx_itr_queryi(tabix_.get(), tid, position - 1, HTS_POS_MAX)
                                          : bcf_itr_queryi(index_.get(), tid, position - 1, HTS_POS_MAX));
        if (!iterator) fail(path_ + ": cannot read chromosome " + name + " through the index");
        for (;;) {
            const int status = tabix_ ? tbx_itr_next(file_.get(), tabix_.get(), iterator.get(), &line_.text)
                                      : bcf_itr_next(file_.get(), iterator.get(), record_.get());
            if (status == -1) return false;
            if (status < -1) fail(path_ + ": cannot read the records of chromosome " + name + " (truncated or malformed file)");
            // A query also yields the records that start before its first position and reach into it.
            if (iterator->curr_beg + 1 >= position) return true;
        }
    }

    // The position of the last record of the chromosome at or after `from`; 0 when there is none.
    // Doubling, then halving, over region queries: a few dozen look-ups whatever the file's size.
    std::int64_t lastStart(const std::string& name, std::int64_t from) {
        if (!startsAtOrAfter(name, from)) return 0;
        std::int64_t low = from;  // a record starts here or later
        std::int64_t high = std::max(2 * from, kFirstProbe);
        while (high < kProbeLimit && startsAtOrAfter(name, high)) {
            low = high;
            high *= 2;
        }
        while (high - low > 1) {  // none starts at high or later
            const std::int64_t middle = low + (high - low) / 2;
            (startsAtOrAfter(name, middle) ? low : high) = middle;
        }
        return low;
    }

private:
    std::string path_;
    HtsPtr<htsFile> file_;
    HtsPtr<bcf_hdr_t> header_;
    HtsPtr<hts_idx_t> index_;  // BCF
    HtsPtr<tbx_t> tabix_;      // bgzipped VCF
    HtsPtr<bcf1_t> record_;
    KString line_;
};

// The header's length, unless a record lies beyond it or the header declares none: then the last
// record's position.
std::int64_t spanOf(IndexedFile& file, const std::string& name) {
    const std::int64_t length = file.declaredLength(name);
    const std::int64_t last = file.lastStart(name, length + 1);
    if (last > 0) return last;
    return length > 0 && file.startsAtOrAfter(name, 1) ? length : 0;
}

}  // namespace

std::vector<ChromosomeSpan> describe(const std::string& path, const std::string& chromosome) {
    IndexedFile file(path);
    std::vector<std::string> names = file.names();
    if (!chromosome.empty()) {
        const bool braced = chromosome.size() > 2 && chromosome.front() == '{' && chromosome.back() == '}';
        const std::string name = braced ? chromosome.substr(1, chromosome.size() - 2) : chromosome;
        if (std::find(names.begin(), names.end(), name) == names.end())
            fail("the index of " + path + " lists no chromosome '" + ldtools::quotable(name) + "'");
        names = {name};
    }
    std::vector<ChromosomeSpan> spans;
    for (const std::string& name : names) spans.push_back({name, spanOf(file, name)});
    return spans;
}

std::string descriptionText(const std::vector<ChromosomeSpan>& spans) {
    std::string text = "window\t" + std::to_string(kPairWindow) + "\n";
    for (const ChromosomeSpan& chromosome : spans)
        text += "span\t" + chromosome.name + "\t" + std::to_string(chromosome.span) + "\n";
    return text;
}

void checkDescribeOptions(const std::string& given, const std::string& chromosome) {
    for (const char letter : given)
        if (letter != 'D' && letter != 'r')
            ldtools::usageError("vcf2markers", std::string("--describe takes no option but -r, not -") + letter);
    if (given.find('r') != std::string::npos && chromosome.empty())
        ldtools::usageError("vcf2markers", "the chromosome (-r) is empty");
}

}  // namespace vcf2markers
