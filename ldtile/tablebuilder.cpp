#include "tablebuilder.hpp"

#include <algorithm>
#include <limits>
#include <new>

namespace ldtile {

uint64_t BoundsTable::slotOf(int a, int b) const {
    const uint64_t begin = rowBegin(a);
    const uint64_t length = rowEnd(a) - begin;
    const auto distance = static_cast<uint64_t>(b - a);
    if (!sparse(a)) return distance <= length ? begin + distance - 1 : kNone;
    const uint32_t* first = offsets(a);
    const uint32_t* found = std::lower_bound(first, first + length, distance);
    return found != first + length && *found == distance ? begin + static_cast<uint64_t>(found - first) : kNone;
}

TableBuilder::TableBuilder(BoundsTable& table, uint64_t pairsHint) : table_(table) {
    table_.positions_.clear();
    table_.rowStart_.clear();
    table_.offsetStart_.clear();
    table_.offsets_.clear();
    table_.bounds_.clear();
    if (pairsHint > 0) {
        try {
            table_.bounds_.reserve(pairsHint);
        } catch (const std::bad_alloc&) {
            // Only a hint: the table grows as needed.
        }
    }
}

void TableBuilder::add(const BoundsRecord& record) {
    if (!haveGroup_ || record.first != currentFirst_) startGroup(record.first);
    noteSecond(record.second);
    // A record is stored when its two positions lie less than the pair window apart.
    if (int64_t{record.second} - record.first < ldtools::kPairWindow) {
        table_.bounds_.append(record.upper, record.lower);
        pendingSeconds_.push_back(record.second);
        PendingGroup& group = groups_.back();
        ++group.records;
        group.lastStored = record.second;
    }
}

void TableBuilder::finish() {
    closeStrayRun();
    settleThrough(std::numeric_limits<int32_t>::max());
    placeReadyGroups(std::numeric_limits<int32_t>::max());
    // A file without records still names one SNP, without pairs, at position 0.
    if (table_.positions_.empty()) table_.positions_.push_back(0);
    startRowsUpTo(table_.positions_.size());
}

void TableBuilder::startGroup(int32_t first) {
    closeStrayRun();
    settleThrough(first);
    if (table_.positions_.empty() || table_.positions_.back() != first) table_.positions_.push_back(first);
    placeReadyGroups(first);

    const int index = static_cast<int>(table_.positions_.size()) - 1;
    groups_.push_back({index, first, 0});
    currentFirst_ = first;
    haveGroup_ = true;
    if (head_ > 4096 && 2 * head_ > upcoming_.size()) {
        upcoming_.erase(upcoming_.begin(), upcoming_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    cursor_ = head_;
    if (runs_.empty()) strays_.clear();
    runBegin_ = strays_.size();
}

// Later runs are merged with the others only once their group has ended.
void TableBuilder::closeStrayRun() {
    if (strays_.size() == runBegin_) return;
    runs_.push_back({runBegin_, strays_.size()});
    std::push_heap(runs_.begin(), runs_.end(), [this](const StrayRun& x, const StrayRun& y) {
        return strays_[x.next] > strays_[y.next];
    });
    runBegin_ = strays_.size();
}

// Records a second position of the current group among the known positions. The second positions
// of a group ascend, so the search goes on from where the previous one ended.
void TableBuilder::noteSecond(int32_t second) {
    const size_t count = upcoming_.size();
    size_t at = cursor_;
    if (at < count && upcoming_[at] < second) {
        // Doubling steps: everything before low is below second.
        size_t low = at + 1;
        size_t high = low;
        size_t step = 1;
        while (high < count && upcoming_[high] < second) {
            low = high + 1;
            step *= 2;
            high = low + step - 1;
        }
        const auto begin = upcoming_.begin();
        at = static_cast<size_t>(std::lower_bound(begin + static_cast<std::ptrdiff_t>(low),
                                                  begin + static_cast<std::ptrdiff_t>(std::min(high, count)), second) -
                                 begin);
    }
    if (at == count) {
        upcoming_.push_back(second);
        cursor_ = count + 1;
    } else if (upcoming_[at] == second) {
        cursor_ = at + 1;
    } else {
        strays_.push_back(second);
        cursor_ = at;
    }
}

// Every known position up to position is final: each gets the next index.
void TableBuilder::settleThrough(int32_t position) {
    const auto later = [this](const StrayRun& x, const StrayRun& y) { return strays_[x.next] > strays_[y.next]; };
    std::vector<int32_t>& positions = table_.positions_;
    for (;;) {
        const bool haveKnown = head_ < upcoming_.size();
        const bool haveStray = !runs_.empty();
        int32_t next;
        if (haveStray && (!haveKnown || strays_[runs_.front().next] < upcoming_[head_])) {
            next = strays_[runs_.front().next];
            if (next > position) return;
            std::pop_heap(runs_.begin(), runs_.end(), later);
            if (++runs_.back().next == runs_.back().end) {
                runs_.pop_back();
            } else {
                std::push_heap(runs_.begin(), runs_.end(), later);
            }
        } else if (haveKnown) {
            next = upcoming_[head_];
            if (next > position) return;
            ++head_;
        } else {
            return;
        }
        // The same position may be known more than once (several groups named it as a stray).
        if (positions.empty() || positions.back() != next) positions.push_back(next);
    }
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
    const std::vector<int32_t>& positions = table_.positions_;
    const auto self = positions.begin() + group.index;
    const auto last = std::lower_bound(self + 1, positions.end(), group.lastStored);
    const auto width = static_cast<uint64_t>(last - self);
    if (width != group.records) {
        // Partners are missing: keep the distance of every pair beside its bounds.
        auto at = self + 1;
        for (uint64_t n = 0; n < group.records; ++n) {
            at = std::lower_bound(at, last + 1, pendingSeconds_[n]);
            table_.offsets_.push_back(static_cast<uint32_t>(at - self));
        }
    }
    pendingSeconds_.erase(pendingSeconds_.begin(), pendingSeconds_.begin() + static_cast<std::ptrdiff_t>(group.records));
    placedEnd_ += group.records;
}

// Opens the rows up to index: the rows before it are complete (rows of SNPs without records of
// their own stay empty).
void TableBuilder::startRowsUpTo(size_t index) {
    while (table_.rowStart_.size() <= index) {
        table_.rowStart_.push_back(placedEnd_);
        table_.offsetStart_.push_back(table_.offsets_.size());
    }
}

}  // namespace ldtile
