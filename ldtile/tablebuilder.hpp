#pragma once
// The bounds table and how it is built from the records of a bounds file as they are read.
//
// The SNPs are all distinct positions of the records, numbered in position order, and a record
// less than 200,000 position units apart is stored at the pair its two positions name.
//
// Memory follows the records: row a holds the pairs (a, b) of the records whose first SNP is a.
// A row whose records name every SNP from a + 1 up to its last partner (every row of a complete
// file) is dense: its k-th slot is the pair (a, a + 1 + k), found in constant time. A row that
// omits partners keeps only the pairs it has, with their distances b - a beside them, found by a
// binary search; the omitted pairs read 0.0.
#include "boundsfile.hpp"
#include "boundstore.hpp"

#include <cstdint>
#include <deque>
#include <vector>

namespace ldtile {

class BoundsTable {
public:
    static constexpr uint64_t kNone = ~uint64_t{0};

    int snpCount() const { return static_cast<int>(positions_.size()); }
    int32_t position(int index) const { return positions_[index]; }
    const int32_t* positions() const { return positions_.data(); }

    // Slots of row a in the store: rowBegin(a) .. rowEnd(a) - 1.
    uint64_t rowBegin(int a) const { return rowStart_[a]; }
    uint64_t rowEnd(int a) const { return rowStart_[a + 1]; }
    bool sparse(int a) const { return offsetStart_[a + 1] > offsetStart_[a]; }
    // Distance b - a of the pair in each slot of the sparse row a, ascending.
    const uint32_t* offsets(int a) const { return offsets_.data() + offsetStart_[a]; }
    // The largest index paired with a in the table (a itself when the row is empty).
    int lastPartner(int a) const {
        const uint64_t length = rowEnd(a) - rowBegin(a);
        if (length == 0) return a;
        return a + static_cast<int>(sparse(a) ? offsets(a)[length - 1] : length);
    }
    // The slot of the pair (a, b), a < b, or none when the table does not hold it.
    uint64_t slotOf(int a, int b) const;

    const BoundStore& bounds() const { return bounds_; }
    // Records less than 200,000 position units apart.
    uint64_t storedPairs() const { return bounds_.size(); }

private:
    friend class TableBuilder;

    std::vector<int32_t> positions_;    // of every SNP, ascending
    std::vector<uint64_t> rowStart_;    // first slot of each row, and the end of the last
    std::vector<uint64_t> offsetStart_; // first distance of each row in offsets_ (sparse rows)
    std::vector<uint32_t> offsets_;
    BoundStore bounds_;
};

// Fills a table from records in strictly ascending order of (first, second), second > first.
//
// A second position can be turned into an index only once every smaller position is known.
// Records ascend by first position, so when a group of records with first position f begins,
// every position below f is known for good, and every group whose last stored partner lies at or
// below f can be placed in the table. The bounds of a group are stored as they arrive, right after
// those of the group before; when the group is placed, the row is dense if the group named every
// SNP up to its last partner, else sparse.
//
// Positions above the current first position that are known so far are kept in ascending order.
// A second position is looked up from where the previous one of its group was found, by doubling
// steps, so a complete file costs constant time per record. A second position that falls between
// two known ones (a record that skips SNPs others name, or one too far away to be stored) goes to
// its group's run of stray positions instead of being inserted; the runs are merged as the
// positions settle. Every record thus costs constant time plus a logarithm of the number of runs.
class TableBuilder {
public:
    // pairsHint: the number of pairs the table is expected to hold (0 when unknown).
    TableBuilder(BoundsTable& table, uint64_t pairsHint);
    void add(const BoundsRecord& record);
    // After the last record.
    void finish();

private:
    struct PendingGroup {
        int index;              // of its first position
        int32_t lastStored;     // second position of its last stored record
        uint64_t records = 0;   // stored records
    };
    struct StrayRun {
        size_t next;  // in strays_
        size_t end;
    };

    void startGroup(int32_t first);
    void closeStrayRun();
    void noteSecond(int32_t second);
    void settleThrough(int32_t position);
    void placeReadyGroups(int32_t position);
    void placeGroup(const PendingGroup& group);
    void startRowsUpTo(size_t index);

    BoundsTable& table_;
    bool haveGroup_ = false;
    int32_t currentFirst_ = 0;
    // Known positions above the current first position, ascending, from head_ on.
    std::vector<int32_t> upcoming_;
    size_t head_ = 0;
    size_t cursor_ = 0;  // where the current group's next second position is looked up
    // Stray positions, one ascending run per group, and the runs not used up, as a heap ordered
    // by their next position.
    std::vector<int32_t> strays_;
    size_t runBegin_ = 0;  // of the current group's run
    std::vector<StrayRun> runs_;
    std::deque<PendingGroup> groups_;         // not placed yet, in file order
    std::deque<int32_t> pendingSeconds_;      // second positions of their stored records
    uint64_t placedEnd_ = 0;                  // end of the placed rows in the store
};

}  // namespace ldtile
