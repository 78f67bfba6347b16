#pragma once
// Writing the indexed form of a bounds file (see boundsformat.hpp): BGZF through htslib, the
// header line, one record a line as five tab-separated fields, and the tabix index built by htslib
// once the file is complete (columns: chromosome 1, begin 2, end 3, so that a region query returns
// the records whose pair touches the region).
//
// The file and its index are written under temporary names in the destination's folder and put in
// place together at the end; a run that fails leaves the old file and index as they were.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "boundsformat.hpp"
#include "replacefile.hpp"

struct BGZF;

namespace ldtools {

// The first position a record of the indexed form may have: tabix counts positions from 1.
inline constexpr std::int32_t kFirstIndexedPosition = 1;
// The largest position the .tbi index reaches (2^29 - 1); beyond it the index is a .csi.
inline constexpr std::int32_t kLargestTbiPosition = (std::int32_t{1} << 29) - 1;

// A failure to write the indexed form; what() is the reason, without the file's name.
class BoundsWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when name is a regular file in the indexed form with an index beside it, so that
// openBoundsRange reads only the part of it a region needs. Throws BoundsFileError when the file
// cannot be opened or read.
bool hasRegionIndex(const std::string& name);

// True when a name fits the chromosome field: not empty, no white space or control bytes, and not
// beginning with '#' (which would mark a header line).
bool fitsChromosomeField(std::string_view name);

class IndexedBoundsWriter {
public:
    struct Settings {
        int threads = 2;           // compressing threads
        int level = 2;             // compression level (1 fastest .. 9 smallest)
    };

    // Opens path (a regular file: the index goes beside it). Throws BoundsWriteError.
    IndexedBoundsWriter(const std::string& path, const std::string& chromosome, const Settings& settings);
    ~IndexedBoundsWriter();
    IndexedBoundsWriter(const IndexedBoundsWriter&) = delete;
    IndexedBoundsWriter& operator=(const IndexedBoundsWriter&) = delete;

    // One record: its positions as decimal numbers, its bounds' words as they are. Records must come in the order of a bounds file
    // (the readers check it). Throws BoundsWriteError, also for a first position below
    // kFirstIndexedPosition.
    void add(const BoundsRecord& record, const BoundsWords& words);
    std::uint64_t records() const { return records_; }

    // Completes the file, builds the index, and puts both in place (an older index of the other
    // kind is removed). Throws BoundsWriteError.
    void commit();
    // The name of the index commit() wrote (PATH.tbi or PATH.csi).
    const std::string& indexName() const { return indexName_; }

private:
    void flushText();
    void closeData();

    std::string path_;
    std::string chromosome_;
    Settings settings_;
    std::unique_ptr<ReplacementFile> data_;
    BGZF* compressed_ = nullptr;
    std::string text_;
    std::uint64_t records_ = 0;
    std::int32_t largest_ = 0;
    std::string indexName_;
};

}  // namespace ldtools
