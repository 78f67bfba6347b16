#pragma once
// Builds the bounds table from the records of a bounds file as they are read.
//
// The SNPs are all distinct positions of the records, numbered in position order, and a record
// is stored at the pair its two positions name. A second position can be turned into an index
// only once every smaller position is known. Records ascend by first position, and a second
// position exceeds its first, so when a group of records with first position f begins, every
// position below f is known for good, and every group whose last second position is at most f
// can be settled.
//
// The bounds of a group are stored as they arrive, right after those of the group before, as if
// the group named every SNP from its first up to its last partner. That is so in a complete file,
// and it is checked when the group is settled: a group that omitted partners is then spread out
// to its full width, the omitted pairs reading 0.0.
#include "boundsfile.hpp"
#include "boundstore.hpp"

#include <cstdint>
#include <deque>
#include <vector>

struct BoundsTable {
    std::vector<int32_t> positions;  // of every SNP, ascending
    // Row a holds the pairs (a, a + 1) .. (a, a + len(a)) at rowStart[a] .. rowStart[a + 1] - 1 of
    // bounds: up to the last partner the file supplied, omitted partners as 0.0.
    std::vector<uint64_t> rowStart;
    BoundStore bounds;
    uint64_t storedPairs = 0;  // records less than 200,000 position units apart
};

class TableBuilder {
public:
    // pairsHint: the number of pairs the table is expected to hold (0 when unknown).
    TableBuilder(BoundsTable& table, uint64_t pairsHint);
    // Records must come in strictly ascending order of (first, second), second > first.
    void add(const BoundsRecord& record);
    // After the last record.
    void finish();

private:
    struct PendingGroup {
        int index;              // of its first position
        int32_t lastStored;     // second position of its last stored record
        uint64_t records = 0;   // stored records
    };

    void startGroup(int32_t first);
    void noteSecond(int32_t second);
    void settleBelow(int32_t position);
    void placeReadyGroups(int32_t position);
    void placeGroup(const PendingGroup& group);
    void startRowsUpTo(size_t index);

    BoundsTable& table_;
    bool haveGroup_ = false;
    int32_t currentFirst_ = 0;
    // Positions above the current first position that are known so far, ascending, from head_ on.
    std::vector<int32_t> upcoming_;
    size_t head_ = 0;
    size_t cursor_ = 0;  // where the current group's next second position belongs in upcoming_
    std::deque<PendingGroup> groups_;         // not settled yet, in file order
    std::deque<int32_t> pendingSeconds_;      // second positions of their stored records
    uint64_t settledEnd_ = 0;                 // end of the settled rows in the bounds store
    std::vector<uint64_t> columns_;           // scratch: where the records of a group belong
};
