#include "boundstore.hpp"

#include "largepages.hpp"

#include <cstring>

namespace ldtile {

BoundStore::BoundStore() {
    // k / 1000 computed in double precision is the double nearest to the decimal k / 1000, the
    // same value strtod gives for the text "0.850" or "1.000".
    values_.reserve(kCodeCount);
    for (uint32_t k = 0; k < kDecimalCodes; ++k) values_.push_back(static_cast<double>(k) / 1000.0);
}

void BoundStore::clear() {
    values_.resize(kDecimalCodes);
    other_.clear();
    wide_ = false;
    upperCode_ = {};
    lowerCode_ = {};
    upperWide_ = {};
    lowerWide_ = {};
}

void BoundStore::reserve(uint64_t pairs) {
    if (wide_) {
        upperWide_.reserve(pairs);
        lowerWide_.reserve(pairs);
        preferLargePages(upperWide_.data(), pairs * sizeof(double));
        preferLargePages(lowerWide_.data(), pairs * sizeof(double));
    } else {
        upperCode_.reserve(pairs);
        lowerCode_.reserve(pairs);
        preferLargePages(upperCode_.data(), pairs * sizeof(uint16_t));
        preferLargePages(lowerCode_.data(), pairs * sizeof(uint16_t));
    }
}

uint32_t BoundStore::otherCode(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const auto known = other_.find(bits);
    if (known != other_.end()) return known->second;
    if (values_.size() == kCodeCount) return kCodeCount;
    const auto code = static_cast<uint16_t>(values_.size());
    values_.push_back(value);
    other_.emplace(bits, code);
    return code;
}

void BoundStore::widen() {
    upperWide_.reserve(upperCode_.capacity());
    lowerWide_.reserve(lowerCode_.capacity());
    for (uint16_t code : upperCode_) upperWide_.push_back(values_[code]);
    for (uint16_t code : lowerCode_) lowerWide_.push_back(values_[code]);
    upperCode_ = {};
    lowerCode_ = {};
    other_.clear();
    wide_ = true;
}

}  // namespace ldtile
