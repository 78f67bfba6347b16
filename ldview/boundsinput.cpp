#include "boundsinput.hpp"

#include "error.hpp"

namespace ldview {
namespace {

// ldview's message for a problem of the bounds file: a bound off the grid and a second chromosome
// say why a view cannot take them.
[[noreturn]] void rethrow(const ldtools::BoundsFileError& error) {
    std::string message = error.what();
    if (error.problem() == ldtools::BoundsProblem::offGrid)
        message = error.place() + ": " + error.detail() +
                  " is not a whole number of hundredths from 0 to 1 (linkstat's 0.01 grid), which a view stores";
    else if (error.problem() == ldtools::BoundsProblem::chromosome)
        message = error.place() + ": " + error.detail() + ": a view holds one chromosome";
    throw ldtools::Error("ldview: " + message + "\n");
}

}  // namespace

BoundsInput::BoundsInput(const std::string& name) {
    try {
        source_ = ldtools::openBounds(name, ldtools::BoundsRules{.onGrid = true});
    } catch (const ldtools::BoundsFileError& error) {
        rethrow(error);
    }
}

bool BoundsInput::next(PairRecord& record) {
    ldtools::BoundsRecord read;
    try {
        if (!source_->next(read)) return false;
    } catch (const ldtools::BoundsFileError& error) {
        rethrow(error);
    }
    record.first = read.first;
    record.second = read.second;
    // Both bounds are on the grid: the reader refused any other.
    record.lower = static_cast<std::uint8_t>(ldtools::gridHundredths(read.lower));
    record.upper = static_cast<std::uint8_t>(ldtools::gridHundredths(read.upper));
    return true;
}

}  // namespace ldview
