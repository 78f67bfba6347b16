#pragma once
// Compact storage of the bounds of the pairs, in table order. Bounds files hold few distinct
// values (three decimals between 0 and 1), so each bound is kept as a 16-bit code into a table
// of values: codes 0 .. 9,999 stand for k / 1000, further codes for other values as they come.
// A file with more distinct values than codes switches the store to plain doubles. Either way a
// bound reads back as exactly the double that was stored.

#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace ldtile {

class BoundStore {
public:
    BoundStore();

    void clear();
    void reserve(uint64_t pairs);
    void append(double upper, double lower) {
        if (!wide_) {
            uint32_t upperCode = decimalCode(upper);
            uint32_t lowerCode = decimalCode(lower);
            if (upperCode == kCodeCount) upperCode = otherCode(upper);
            if (lowerCode == kCodeCount) lowerCode = otherCode(lower);
            if (upperCode < kCodeCount && lowerCode < kCodeCount) {
                upperCode_.push_back(static_cast<uint16_t>(upperCode));
                lowerCode_.push_back(static_cast<uint16_t>(lowerCode));
                return;
            }
            widen();
        }
        upperWide_.push_back(upper);
        lowerWide_.push_back(lower);
    }

    uint64_t size() const { return wide_ ? upperWide_.size() : upperCode_.size(); }
    double upper(uint64_t slot) const { return wide_ ? upperWide_[slot] : values_[upperCode_[slot]]; }
    double lower(uint64_t slot) const { return wide_ ? lowerWide_[slot] : values_[lowerCode_[slot]]; }

private:
    static constexpr uint32_t kDecimalCodes = 10000;  // k / 1000 for k = 0 .. 9,999
    static constexpr uint32_t kCodeCount = 65536;

    // The code k of a value k / 1000, else kCodeCount.
    uint32_t decimalCode(double value) const {
        if (value >= 0.0 && value < 10.0 && !std::signbit(value)) {
            const auto k = static_cast<uint32_t>(value * 1000.0 + 0.5);
            if (k < kDecimalCodes && values_[k] == value) return k;
        }
        return kCodeCount;
    }
    // The code of any other value, or kCodeCount when every code is taken.
    uint32_t otherCode(double value);
    void widen();

    std::vector<double> values_;                   // value of each code
    std::unordered_map<uint64_t, uint16_t> other_; // bit pattern -> code, for codes >= kDecimalCodes
    bool wide_ = false;
    std::vector<uint16_t> upperCode_;
    std::vector<uint16_t> lowerCode_;
    std::vector<double> upperWide_;
    std::vector<double> lowerWide_;
};

}  // namespace ldtile
