#include "pairs.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "error.hpp"
#include "indexedbounds.hpp"
#include "progress.hpp"
#include "writer.hpp"

namespace ldplot {

std::size_t gallop(const std::vector<std::int32_t>& sorted, std::size_t from, std::int32_t value) {
    const std::size_t n = sorted.size();
    if (from >= n || sorted[from] >= value) return from;
    std::size_t low = from;  // sorted[low] < value
    std::size_t step = 1;
    while (step < n - low && sorted[low + step] < value) {
        low += step;
        step *= 2;
    }
    const std::size_t high = std::min(n, low + step);
    return static_cast<std::size_t>(
        std::lower_bound(sorted.begin() + static_cast<std::ptrdiff_t>(low + 1),
                         sorted.begin() + static_cast<std::ptrdiff_t>(high), value) -
        sorted.begin());
}

// ---- PositionSet -----------------------------------------------------------------------------

// Records ascend by first position and, within a group, by second position, so the seconds of a
// group are looked up from where the previous one was found. A position not known yet waits in
// pending_ until there are enough of them to merge into known_ (duplicates included: merging
// removes them), so each record costs little and memory stays a small multiple of the SNPs.
void PositionSet::addAny(std::int32_t first, std::int32_t second) {
    if (!haveFirst_ || first != first_) {
        haveFirst_ = true;
        first_ = first;
        cursor_ = static_cast<std::size_t>(std::lower_bound(known_.begin(), known_.end(), first) - known_.begin());
        note(first);
    }
    cursor_ = gallop(known_, cursor_, second);
    note(second);
}

// A position at known_[cursor_] or, when it is not there, past every known one (appended: the set
// mostly grows at its end, as the window moves on) or else pending.
void PositionSet::note(std::int32_t position) {
    if (cursor_ == known_.size()) {
        known_.push_back(position);
    } else if (known_[cursor_] != position) {
        pending_.push_back(position);
        if (pending_.size() > limit_) compact();
    }
}

void PositionSet::compact() {
    std::sort(pending_.begin(), pending_.end());
    pending_.erase(std::unique(pending_.begin(), pending_.end()), pending_.end());
    // merged into the spare array, which then holds the old known positions: the arrays are reused
    // from compaction to compaction instead of taken afresh (fresh memory costs a page fault a page)
    spare_.clear();
    spare_.reserve(known_.size() + pending_.size());
    std::set_union(known_.begin(), known_.end(), pending_.begin(), pending_.end(), std::back_inserter(spare_));
    known_.swap(spare_);
    pending_.clear();
    limit_ = std::max(known_.size(), std::size_t{1} << 16);
    cursor_ = static_cast<std::size_t>(std::lower_bound(known_.begin(), known_.end(), first_) - known_.begin());
}

std::vector<std::int32_t> PositionSet::take() {
    compact();
    std::vector<std::int32_t> result;
    result.swap(known_);
    std::vector<std::int32_t>().swap(pending_);
    std::vector<std::int32_t>().swap(spare_);
    haveFirst_ = false;
    cursor_ = 0;
    return result;
}

// ---- KeptPairs -------------------------------------------------------------------------------

void KeptPairs::reserve(std::size_t pairs, bool classes) {
    classes_ = classes;
    words_.reserve(pairs);
    if (!classes) bounds_.reserve(pairs);
}

// ---- PairSpool -------------------------------------------------------------------------------

namespace {

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? std::string(folder) : std::string("/tmp");
}

[[noreturn]] void temporaryFileError(const std::string& what, const std::string& folder, int code) {
    throw ldtools::Error("ldplot: cannot " + what + " a temporary file in " + folder + ": " +
                         ldtools::systemReason(code) + "\n");
}

}  // namespace

PairSpool::PairSpool(std::size_t bufferPairs) : bufferPairs_(std::max<std::size_t>(bufferPairs, 1)) {
    buffer_.reserve(bufferPairs_);
}

PairSpool::~PairSpool() {
    if (fd_ >= 0) ::close(fd_);
}

PairSpool::PairSpool(PairSpool&& other) noexcept
    : bufferPairs_(other.bufferPairs_),
      buffer_(std::move(other.buffer_)),
      kept_(std::move(other.kept_)),
      count_(other.count_),
      fd_(other.fd_),
      folder_(std::move(other.folder_)),
      rereading_(other.rereading_),
      reread_(std::move(other.reread_)),
      regionOnly_(other.regionOnly_) {
    other.fd_ = -1;
    other.count_ = 0;
    other.buffer_.clear();
    other.kept_ = KeptPairs();
    other.rereading_ = false;
}

void PairSpool::changedWhileRead() const {
    throw ldtools::Error("ldplot: " + reread_.bounds + " changed while it was read\n");
}

void PairSpool::spill() {
    if (buffer_.empty()) return;
    if (fd_ < 0) {
        folder_ = temporaryFolder();
        std::string name = folder_ + "/ldplot-XXXXXX";
        fd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd_ < 0) temporaryFileError("create", folder_, errno);
        ::unlink(name.c_str());  // the file lives as long as the descriptor
    }
    try {
        ldtools::writeAll(fd_, reinterpret_cast<const char*>(buffer_.data()), buffer_.size() * sizeof(KeptPair));
    } catch (const ldtools::SystemError& error) {
        temporaryFileError("write", folder_, error.code());
    }
    buffer_.clear();
}

void PairSpool::rewind() {
    if (::lseek(fd_, 0, SEEK_SET) < 0) temporaryFileError("read", folder_, errno);
}

std::size_t PairSpool::readChunk(std::vector<KeptPair>& chunk) {
    char* into = reinterpret_cast<char*>(chunk.data());
    const std::size_t room = chunk.size() * sizeof(KeptPair);
    std::size_t got = 0;
    while (got < room) {
        const ssize_t count = ::read(fd_, into + got, room - got);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) temporaryFileError("read", folder_, errno);
        if (count == 0) break;
        got += static_cast<std::size_t>(count);
    }
    if (got % sizeof(KeptPair) != 0) temporaryFileError("read", folder_, EIO);
    return got / sizeof(KeptPair);
}

// ---- reading the bounds file -----------------------------------------------------------------

BoundsScan scanBounds(const Options& options, std::size_t spoolBufferPairs, std::size_t keptPairs, bool allowRegion) {
    const bool regionOnly = allowRegion && options.hasRange && ldtools::hasRegionIndex(options.bounds);
    const std::unique_ptr<ldtools::BoundsSource> source =
        regionOnly ? ldtools::openBoundsRange(options.bounds, options.from, options.to) : ldtools::openBounds(options.bounds);
    ldtools::BoundsSource& reader = *source;
    BoundsScan scan{{}, PairSpool(spoolBufferPairs), regionOnly};
    // A regular file's pairs stay in memory up to keptPairs, and past that the file is read again
    // when the pairs are drawn; a pipe's records go through the spool.
    const bool rereadable = reader.size() > 0;
    PositionSet positions;
    ldtools::ProgressLine progress;
    ldtools::BoundsRecord record;
    KeptPair kept{};
    std::uint64_t records = 0;
    while (reader.next(record)) {
        positions.add(record.first, record.second);
        if ((++records & 0xFFFF) == 0 && progress.due()) {
            const std::uint64_t size = reader.size();
            progress.show("ldplot: reading " + options.bounds + ": " +
                          (size > 0 ? std::to_string(reader.bytesRead() * 100 / size) + "%"
                                    : std::to_string(records) + " records"));
        }
        if (!keptPair(options, record.first, record.second, record.lower, record.upper, kept)) continue;
        if (rereadable)
            scan.pairs.keepOrReread(kept, keptPairs, options, regionOnly);
        else
            scan.pairs.add(kept);
    }
    progress.clear();
    scan.positions = positions.take();
    return scan;
}

}  // namespace ldplot
