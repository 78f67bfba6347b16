// The indexed form of a bounds file: its readers (the whole file, or a region through the tabix
// index), the choice of a reader for a file (openBounds, openBoundsRange), and its writer.

#include "indexedbounds.hpp"

#include <charconv>

#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "error.hpp"
#include "numbers.hpp"

namespace ldtools {
namespace {

constexpr std::size_t kReadBufferSize = std::size_t{1} << 20;
// A line of the indexed form may be at most this long, so that compressed data without line
// breaks cannot fill memory.
constexpr std::size_t kMaxLineLength = BoundsReader::kMaxWordLength;
// The text of records gathered before it goes to the compressor.
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
// The smallest bin of a .csi index (16 kb), as tabix makes it.
constexpr int kCsiMinShift = 14;

const char* const kFiveFields = "expected five fields: chromosome, first position, second position, lower bound, upper bound";

// The rules of a line of the indexed form, shared by the reader of the whole file and the reader
// of a region: five fields separated by single tabs, one chromosome, records in order, and the
// program's rules for the bounds.
class IndexedLines {
public:
    IndexedLines(std::string name, const BoundsRules& rules) : name_(std::move(name)), rules_(rules) {}

    const std::string& chromosome() const { return chromosome_; }
    void setChromosome(std::string chromosome) { chromosome_ = std::move(chromosome); }
    // Where the records come from when they are not numbered lines (a region's records).
    void setRegionPlace(std::string place) { regionPlace_ = std::move(place); }

    // Reads the record of a line (its number, or 0 for a region's record). The words point into line.
    void parse(std::string_view line, long number, BoundsRecord& record, BoundsWords& words) {
        std::string_view fields[5];
        std::size_t start = 0;
        for (int k = 0; k < 4; ++k) {
            const void* tab = std::memchr(line.data() + start, '\t', line.size() - start);
            if (tab == nullptr) fail(number, kFiveFields);
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(tab) - line.data());
            fields[k] = line.substr(start, at - start);
            start = at + 1;
        }
        fields[4] = line.substr(start);
        if (fields[4].find('\t') != std::string_view::npos) fail(number, kFiveFields);
        if (chromosome_.empty() || fields[0] != chromosome_) newChromosome(fields[0], number);
        if (!parsePosition(fields[1], record.first) || !parsePosition(fields[2], record.second) ||
            !parseDecimal(fields[3], record.lower) || !parseDecimal(fields[4], record.upper))
            fail(number, kFiveFields);
        if (rules_.onGrid) {
            checkBound(fields[3], record.lower, "lower", number);
            checkBound(fields[4], record.upper, "upper", number);
        }
        words = {fields[1], fields[2], fields[3], fields[4]};
        bool ascending = record.second > record.first;
        if (havePrevious_)
            ascending = ascending && (record.first > previous_.first ||
                                      (record.first == previous_.first && record.second > previous_.second));
        if (!ascending)
            throw BoundsFileError(BoundsProblem::order, place(number), "", "records are not in order of position");
        previous_ = record;
        havePrevious_ = true;
    }

    [[noreturn]] void fail(long number, const std::string& reason) const {
        throw BoundsFileError(BoundsProblem::malformed, place(number), "", reason);
    }

private:
    std::string place(long number) const {
        return number > 0 ? name_ + ": line " + std::to_string(number) : regionPlace_;
    }

    // The first record names the chromosome of the file; any other name is a second chromosome.
    void newChromosome(std::string_view field, long number) {
        if (!chromosome_.empty()) {
            const std::string detail = "chromosome " + quotable(field) + " after " + quotable(chromosome_);
            throw BoundsFileError(BoundsProblem::chromosome, place(number), detail,
                                  detail + ": a bounds file holds one chromosome");
        }
        if (!fitsChromosomeField(field)) fail(number, kFiveFields);
        chromosome_ = field;
    }

    void checkBound(std::string_view word, double value, const char* which, long number) const {
        if (gridHundredths(value) >= 0) return;
        const std::string detail = std::string(which) + " bound " + quotable(word);
        throw BoundsFileError(BoundsProblem::offGrid, place(number), detail,
                              detail + " is not a whole number of hundredths from 0 to 1 (linkstat's 0.01 grid)");
    }

    std::string name_;
    BoundsRules rules_;
    std::string chromosome_;
    std::string regionPlace_;
    bool havePrevious_ = false;
    BoundsRecord previous_;
};

// The indexed form read whole, line by line, after its header line.
class IndexedBoundsReader : public BoundsSource {
public:
    IndexedBoundsReader(std::unique_ptr<TextInput> input, const BoundsRules& rules)
        : input_(std::move(input)), scanner_(*input_, TextRules{.maxLine = kMaxLineLength}), lines_(input_->name(), rules) {
        std::string_view header;
        (void)nextLine(header);
    }

    bool next(BoundsRecord& record) final {
        BoundsWords words;
        return next(record, words);
    }
    bool next(BoundsRecord& record, BoundsWords& words) final {
        std::string_view line;
        if (!nextLine(line)) return false;
        lines_.parse(line, scanner_.line(), record, words);
        return true;
    }
    const std::string& name() const final { return input_->name(); }
    std::uint64_t size() const final { return input_->size(); }
    std::uint64_t bytesRead() const final { return input_->bytesRead(); }
    bool compressed() const final { return true; }
    bool indexed() const final { return true; }
    const std::string& chromosome() const final { return lines_.chromosome(); }

private:
    bool nextLine(std::string_view& line) {
        Token token;
        try {
            token = scanner_.nextLine(line);
        } catch (const InputError& error) {
            throw BoundsFileError("cannot read bounds file " + name() + ": " + error.what());
        }
        if (token == Token::lineTooLong)
            lines_.fail(scanner_.line(), "line longer than " + std::to_string(kMaxLineLength) + " bytes");
        return token == Token::line;
    }

    std::unique_ptr<TextInput> input_;
    TextScanner<TextInput> scanner_;
    IndexedLines lines_;
};

// The records of another source that touch from..to.
class RangeFilter : public BoundsSource {
public:
    RangeFilter(std::unique_ptr<BoundsSource> source, std::int32_t from, std::int32_t to)
        : source_(std::move(source)), from_(from), to_(to) {}

    bool next(BoundsRecord& record) final {
        while (source_->next(record))
            if (record.first <= to_ && record.second >= from_) return true;
        return false;
    }
    bool next(BoundsRecord& record, BoundsWords& words) final {
        while (source_->next(record, words))
            if (record.first <= to_ && record.second >= from_) return true;
        return false;
    }
    const std::string& name() const final { return source_->name(); }
    std::uint64_t size() const final { return source_->size(); }
    std::uint64_t bytesRead() const final { return source_->bytesRead(); }
    bool compressed() const final { return source_->compressed(); }
    bool indexed() const final { return source_->indexed(); }
    const std::string& chromosome() const final { return source_->chromosome(); }

private:
    std::unique_ptr<BoundsSource> source_;
    std::int32_t from_;
    std::int32_t to_;
};

// The index beside a file: NAME.csi or NAME.tbi (the first that exists), or empty.
std::string indexBeside(const std::string& name) {
    for (const char* suffix : {".csi", ".tbi"}) {
        struct stat info {};
        if (::stat((name + suffix).c_str(), &info) == 0 && S_ISREG(info.st_mode)) return name + suffix;
    }
    return "";
}

bool olderThan(const std::string& a, const std::string& b) {
    struct stat x {};
    struct stat y {};
    if (::stat(a.c_str(), &x) != 0 || ::stat(b.c_str(), &y) != 0) return false;
    return x.st_mtim.tv_sec < y.st_mtim.tv_sec ||
           (x.st_mtim.tv_sec == y.st_mtim.tv_sec && x.st_mtim.tv_nsec < y.st_mtim.tv_nsec);
}

// The records of a region of the indexed form, read through its tabix index.
class IndexedRegionReader : public BoundsSource {
public:
    IndexedRegionReader(const std::string& name, const std::string& indexName, std::int32_t from, std::int32_t to,
                        const BoundsRules& rules)
        : name_(name), lines_(name, rules) {
        struct stat info {};
        if (::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) size_ = static_cast<std::uint64_t>(info.st_size);
        if (olderThan(indexName, name))
            throw BoundsFileError("the index " + indexName + " is older than " + name +
                                  "; make it again (tabix -f -s1 -b2 -e3 " + name + ")");
        index_ = tbx_index_load3(name.c_str(), indexName.c_str(), HTS_IDX_SILENT_FAIL);
        if (index_ == nullptr) throw BoundsFileError("cannot read the index " + indexName + " of " + name);
        if (index_->conf.preset != TBX_GENERIC || index_->conf.sc != 1 || index_->conf.bc != 2 || index_->conf.ec != 3)
            throw BoundsFileError("the index " + indexName + " is not one of a bounds file (tabix -s1 -b2 -e3)");
        int count = 0;
        const char** names = tbx_seqnames(index_, &count);
        if (count > 0 && names != nullptr) lines_.setChromosome(names[0]);
        std::free(names);
        if (count > 1)
            throw BoundsFileError("the index " + indexName + " names " + std::to_string(count) +
                                  " chromosomes; a bounds file holds one");
        lines_.setRegionPlace(name + ": records of " + lines_.chromosome() + ":" + std::to_string(from) + "-" +
                              std::to_string(to));
        if (count == 0 || to < from) return;
        errno = 0;
        file_ = hts_open(name.c_str(), "r");
        if (file_ == nullptr) throw BoundsFileError("cannot open bounds file " + name + ": " + systemReason(errno));
        // Region ends below 1 reach no record: tabix positions begin at 1.
        iterator_ = tbx_itr_queryi(index_, 0, std::max<std::int64_t>(std::int64_t{from} - 1, 0), std::int64_t{to});
        if (iterator_ == nullptr) throw BoundsFileError("cannot read the index " + indexName + " of " + name);
    }
    ~IndexedRegionReader() override {
        if (iterator_ != nullptr) hts_itr_destroy(iterator_);
        if (file_ != nullptr) hts_close(file_);
        if (index_ != nullptr) tbx_destroy(index_);
        std::free(line_.s);
    }
    IndexedRegionReader(const IndexedRegionReader&) = delete;
    IndexedRegionReader& operator=(const IndexedRegionReader&) = delete;

    bool next(BoundsRecord& record) final {
        BoundsWords words;
        return next(record, words);
    }
    bool next(BoundsRecord& record, BoundsWords& words) final {
        if (iterator_ == nullptr) return false;
        errno = 0;
        const int got = tbx_itr_next(file_, index_, iterator_, &line_);
        if (got == -1) return false;
        if (got < -1) {
            const std::string reason = errno != 0 ? systemReason(errno) : std::string("damaged or truncated compressed data");
            throw BoundsFileError("cannot read bounds file " + name_ + ": " + reason);
        }
        lines_.parse(std::string_view(line_.s, line_.l), 0, record, words);
        return true;
    }
    const std::string& name() const final { return name_; }
    std::uint64_t size() const final { return size_; }
    std::uint64_t bytesRead() const final {
        if (file_ == nullptr) return 0;
        const off_t offset = htell(hts_get_bgzfp(file_)->fp);
        return offset > 0 ? static_cast<std::uint64_t>(offset) : 0;
    }
    bool compressed() const final { return true; }
    bool indexed() const final { return true; }
    const std::string& chromosome() const final { return lines_.chromosome(); }

private:
    std::string name_;
    std::uint64_t size_ = 0;
    IndexedLines lines_;
    tbx_t* index_ = nullptr;
    htsFile* file_ = nullptr;
    hts_itr_t* iterator_ = nullptr;
    kstring_t line_{0, 0, nullptr};
};

std::unique_ptr<TextInput> openInput(const std::string& name) {
    try {
        return std::make_unique<TextInput>(name, kReadBufferSize);
    } catch (const InputError& error) {
        throw BoundsFileError("cannot " + error.operation() + " bounds file " + name + ": " + error.what());
    }
}

// True when a compressed input begins with the header line of the indexed form.
bool beginsWithHeader(TextInput& input) {
    if (!input.compressed()) return false;
    try {
        while (input.available() <= kIndexedBoundsHeader.size() && input.fill()) {
        }
    } catch (const InputError& error) {
        throw BoundsFileError("cannot read bounds file " + input.name() + ": " + error.what());
    }
    const std::string_view start(input.data(), input.available());
    if (start.substr(0, kIndexedBoundsHeader.size()) != kIndexedBoundsHeader) return false;
    return start.size() == kIndexedBoundsHeader.size() || start[kIndexedBoundsHeader.size()] == '\n';
}

// True when a regular compressed file begins with the header line of the indexed form, read
// from its first block alone (a region's reader must not inflate the rest of the file).
bool headerInFirstBlock(const std::string& name) {
    hts_set_log_level(HTS_LOG_OFF);
    BGZF* file = bgzf_open(name.c_str(), "r");
    if (file == nullptr) throw BoundsFileError("cannot open bounds file " + name + ": " + systemReason(errno));
    char start[kIndexedBoundsHeader.size() + 1];
    const ssize_t got = bgzf_compression(file) == 2 ? bgzf_read(file, start, sizeof start) : -1;
    bgzf_close(file);
    if (got < static_cast<ssize_t>(kIndexedBoundsHeader.size())) return false;
    const std::string_view text(start, static_cast<std::size_t>(got));
    return text.substr(0, kIndexedBoundsHeader.size()) == kIndexedBoundsHeader &&
           (text.size() == kIndexedBoundsHeader.size() || text[kIndexedBoundsHeader.size()] == '\n');
}

}  // namespace

bool fitsChromosomeField(std::string_view name) {
    if (name.empty() || name[0] == '#') return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
    return true;
}

std::unique_ptr<BoundsSource> openBounds(const std::string& name, const BoundsRules& rules) {
    std::unique_ptr<TextInput> input = openInput(name);
    if (beginsWithHeader(*input)) return std::make_unique<IndexedBoundsReader>(std::move(input), rules);
    return std::make_unique<BoundsReader>(std::move(input), rules);
}

bool hasRegionIndex(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || indexBeside(name).empty()) return false;
    return headerInFirstBlock(name);
}

std::unique_ptr<BoundsSource> openBoundsRange(const std::string& name, std::int32_t from, std::int32_t to,
                                              const BoundsRules& rules) {
    // The indexed form with its index is read from the region alone, header check included.
    if (hasRegionIndex(name)) return std::make_unique<IndexedRegionReader>(name, indexBeside(name), from, to, rules);
    std::unique_ptr<TextInput> input = openInput(name);
    const bool indexedForm = beginsWithHeader(*input);
    std::unique_ptr<BoundsSource> whole;
    if (indexedForm)
        whole = std::make_unique<IndexedBoundsReader>(std::move(input), rules);
    else
        whole = std::make_unique<BoundsReader>(std::move(input), rules);
    return std::make_unique<RangeFilter>(std::move(whole), from, to);
}

// ---- the writer ---------------------------------------------------------------------------------

IndexedBoundsWriter::IndexedBoundsWriter(const std::string& path, const std::string& chromosome,
                                         const Settings& settings)
    : path_(path), chromosome_(chromosome), settings_(settings) {
    if (!fitsChromosomeField(chromosome))
        throw BoundsWriteError(std::string("the chromosome name '").append(quotable(chromosome)) +
                               "' is empty, holds white space or begins with '#'");
    try {
        data_ = std::make_unique<ReplacementFile>(path);
    } catch (const SystemError& error) {
        throw BoundsWriteError(error.reason());
    }
    if (data_->direct()) throw BoundsWriteError("not a regular file in a writable folder, which its index needs");
    const int fd = ::dup(data_->fd());
    if (fd < 0) throw BoundsWriteError(systemReason(errno));
    const char mode[3] = {'w', static_cast<char>('0' + std::clamp(settings.level, 1, 9)), '\0'};
    compressed_ = bgzf_dopen(fd, mode);
    if (compressed_ == nullptr) {
        ::close(fd);
        throw BoundsWriteError(systemReason(errno));
    }
    if (settings.threads > 1) (void)bgzf_mt(compressed_, settings.threads, 256);
    text_.reserve(kWriteChunk + 4096);
    text_.append(kIndexedBoundsHeader);
    text_.push_back('\n');
}

IndexedBoundsWriter::~IndexedBoundsWriter() {
    if (compressed_ != nullptr) bgzf_close(compressed_);
}

void IndexedBoundsWriter::add(const BoundsRecord& record, const BoundsWords& words) {
    if (record.first < kFirstIndexedPosition)
        throw BoundsWriteError("position " + std::to_string(record.first) +
                               " lies below 1, where the index's positions begin");
    text_.append(chromosome_);
    // Positions as plain decimal numbers, whatever their words: the index reads a position with a
    // leading zero ("0610") as octal, and would then file the record where no region finds it.
    for (const std::int32_t position : {record.first, record.second}) {
        char digits[16];
        const auto written = std::to_chars(digits, digits + sizeof digits, position);
        text_.push_back('\t');
        text_.append(digits, written.ptr);
    }
    for (const std::string_view word : {words.lower, words.upper}) {
        text_.push_back('\t');
        text_.append(word);
    }
    text_.push_back('\n');
    largest_ = std::max(largest_, record.second);
    ++records_;
    if (text_.size() >= kWriteChunk) flushText();
}

void IndexedBoundsWriter::flushText() {
    errno = 0;
    if (bgzf_write(compressed_, text_.data(), text_.size()) != static_cast<ssize_t>(text_.size()))
        throw BoundsWriteError(systemReason(errno));
    text_.clear();
}

void IndexedBoundsWriter::closeData() {
    flushText();
    errno = 0;
    const int status = bgzf_close(compressed_);
    compressed_ = nullptr;
    if (status != 0) throw BoundsWriteError(systemReason(errno));
}

void IndexedBoundsWriter::commit() {
    closeData();
    const bool csi = largest_ > kLargestTbiPosition;
    indexName_ = path_ + (csi ? ".csi" : ".tbi");
    std::unique_ptr<ReplacementFile> index;
    try {
        index = std::make_unique<ReplacementFile>(indexName_);
    } catch (const SystemError& error) {
        throw BoundsWriteError("cannot write the index " + indexName_ + ": " + error.reason());
    }
    // htslib reads the finished file and writes the index by name: the temporary files are named
    // through their open descriptors, which stay theirs until they are put in place.
    const std::string dataName = "/dev/fd/" + std::to_string(data_->fd());
    const std::string indexName = "/dev/fd/" + std::to_string(index->fd());
    tbx_conf_t conf{TBX_GENERIC, 1, 2, 3, '#', 0};
    if (tbx_index_build3(dataName.c_str(), indexName.c_str(), csi ? kCsiMinShift : 0, settings_.threads, &conf) != 0)
        throw BoundsWriteError("cannot build the index " + indexName_);
    // No reader may meet the new file with an old index: the old indexes go first, so that a reader
    // in between reads the whole file.
    for (const char* suffix : {".tbi", ".csi"})
        if (::unlink((path_ + suffix).c_str()) != 0 && errno != ENOENT)
            throw BoundsWriteError("cannot remove the old index " + path_ + suffix + ": " + systemReason(errno));
    try {
        data_->commit();
        index->commit();
    } catch (const SystemError& error) {
        throw BoundsWriteError(error.reason());
    }
}

}  // namespace ldtools
