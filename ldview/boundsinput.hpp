#pragma once
// The records of an LD bounds file for a view, in any of its three forms (plain text, gzip, or the
// indexed form), read through the shared bounds readers with every bound held to linkstat's 0.01
// grid: a view stores a bound as a whole number of hundredths, without loss.

#include <cstdint>
#include <memory>
#include <string>

#include "boundsformat.hpp"

namespace ldview {

// A record with its bounds in hundredths (0 to 100).
struct PairRecord {
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::uint8_t lower = 0;
    std::uint8_t upper = 0;
};

// Reads the records one after the other. Every problem is thrown as ldtools::Error with ldview's
// complete message: the file, the line and the reason.
class BoundsInput {
public:
    explicit BoundsInput(const std::string& name);

    // The next record; false at the end of the file.
    bool next(PairRecord& record);

    // True for the indexed form.
    bool indexed() const { return source_->indexed(); }
    // The chromosome of the indexed form's records (empty before the first, and for other forms).
    const std::string& chromosome() const { return source_->chromosome(); }

private:
    std::unique_ptr<ldtools::BoundsSource> source_;
};

}  // namespace ldview
