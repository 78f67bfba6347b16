#include "tablebuilder.hpp"

#include <algorithm>
#include <limits>
#include <new>

namespace {
// A record is stored when its second position lies at most this far beyond its first.
constexpr int64_t maxStoredDistance = 199999;
}  // namespace

TableBuilder::TableBuilder(BoundsTable& table, uint64_t pairsHint) : table_(table) {
    table_.positions.clear();
    table_.rowStart.clear();
    table_.bounds.clear();
    table_.storedPairs = 0;
    if (pairsHint > 0) {
        try {
            table_.bounds.reserve(pairsHint);
        } catch (const std::bad_alloc&) {
            // Only a hint: the table grows as needed.
        }
    }
}

void TableBuilder::add(const BoundsRecord& record) {
    if (!haveGroup_ || record.first != currentFirst_) startGroup(record.first);
    noteSecond(record.second);
    if (int64_t{record.second} - record.first <= maxStoredDistance) {
        table_.bounds.append(record.upper, record.lower);
        pendingSeconds_.push_back(record.second);
        PendingGroup& group = groups_.back();
        ++group.records;
        group.lastStored = record.second;
        ++table_.storedPairs;
    }
}

void TableBuilder::finish() {
    settleBelow(std::numeric_limits<int32_t>::max());
    if (head_ < upcoming_.size()) table_.positions.push_back(upcoming_[head_++]);  // the largest int
    placeReadyGroups(std::numeric_limits<int32_t>::max());
    // A file without records still names one SNP, without pairs, at position 0.
    if (table_.positions.empty()) table_.positions.push_back(0);
    startRowsUpTo(table_.positions.size());
}

void TableBuilder::startGroup(int32_t first) {
    settleBelow(first);
    if (head_ < upcoming_.size() && upcoming_[head_] == first) ++head_;
    table_.positions.push_back(first);
    placeReadyGroups(first);

    const int index = static_cast<int>(table_.positions.size()) - 1;
    groups_.push_back({index, first, 0});
    currentFirst_ = first;
    haveGroup_ = true;
    if (head_ > 4096 && 2 * head_ > upcoming_.size()) {
        upcoming_.erase(upcoming_.begin(), upcoming_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    cursor_ = head_;
}

// Records a second position of the current group among the known upcoming positions. The second
// positions of a group ascend, so the search goes on from where the previous one ended.
void TableBuilder::noteSecond(int32_t second) {
    while (cursor_ < upcoming_.size() && upcoming_[cursor_] < second) ++cursor_;
    if (cursor_ == upcoming_.size() || upcoming_[cursor_] != second) {
        upcoming_.insert(upcoming_.begin() + static_cast<std::ptrdiff_t>(cursor_), second);
    }
    ++cursor_;
}

// Every known position below position is final: it gets the next index.
void TableBuilder::settleBelow(int32_t position) {
    while (head_ < upcoming_.size() && upcoming_[head_] < position) table_.positions.push_back(upcoming_[head_++]);
}

// Places, in order, the waiting groups whose partners all lie at or below position.
void TableBuilder::placeReadyGroups(int32_t position) {
    while (!groups_.empty() && groups_.front().lastStored <= position) {
        placeGroup(groups_.front());
        groups_.pop_front();
    }
}

void TableBuilder::placeGroup(const PendingGroup& group) {
    startRowsUpTo(static_cast<size_t>(group.index));
    if (group.records == 0) return;
    const std::vector<int32_t>& positions = table_.positions;
    const auto first = positions.begin() + group.index + 1;
    const auto last = std::lower_bound(first, positions.end(), group.lastStored);
    const uint64_t width = static_cast<uint64_t>(last - first) + 1;
    if (width != group.records) {
        // Partners are missing: find the column of every record and spread the row out.
        columns_.clear();
        auto at = first;
        for (uint64_t n = 0; n < group.records; ++n) {
            at = std::lower_bound(at, last + 1, pendingSeconds_[n]);
            columns_.push_back(static_cast<uint64_t>(at - first));
        }
        table_.bounds.spreadRow(settledEnd_, columns_, width);
    }
    pendingSeconds_.erase(pendingSeconds_.begin(), pendingSeconds_.begin() + static_cast<std::ptrdiff_t>(group.records));
    settledEnd_ += width;
}

// Opens the rows up to index: the rows before it are complete (rows of SNPs without records of
// their own stay empty).
void TableBuilder::startRowsUpTo(size_t index) {
    while (table_.rowStart.size() <= index) table_.rowStart.push_back(settledEnd_);
}
