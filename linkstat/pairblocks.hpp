#pragma once
// The walk over the pairs of a marker set in report order (far pairs and pairs inside the window), and
// its cutting into blocks of lines, the unit of work that the fast loop's threads share.

#include <cstddef>
#include <vector>

#include "settings.hpp"

namespace linkstat {

// Place in the pair loop: the next pair is (i, j); j == i + 1 means the first marker i has just begun.
struct Cursor {
    int i = 0;
    int j = 1;
    bool operator==(const Cursor&) const = default;
};

// Visits, in report order, the far pairs and the pairs inside the window, from `from` up to `stop`.
template <class FarPair, class Pair>
void walkPairs(const double* positions, int nMarkers, Cursor from, Cursor stop, FarPair onFarPair, Pair onPair) {
    Cursor c = from;
    while (c.i + 1 < nMarkers && !(c == stop)) {
        if (c.j == c.i + 1 && positions[c.i + 1] - positions[c.i] > kPairWindow) {
            onFarPair(c.i);
            c = Cursor{c.i + 1, c.i + 2};
        } else if (c.j < nMarkers && positions[c.j] - positions[c.i] < kPairWindow) {
            onPair(c.i, c.j);
            ++c.j;
        } else {
            c = Cursor{c.i + 1, c.i + 2};
        }
    }
}

// A stretch of the walk, from `from` up to `stop`: its report lines (far pairs and pairs inside the
// window), the pairs inside the window, and the first marker of its last line, for the progress line.
struct Block {
    Cursor from, stop;
    std::size_t lines = 0;
    long pairs = 0;
    int marker = 0;
};

// Cuts the walk of a set into blocks of at most maxLines lines, in report order.
std::vector<Block> cutBlocks(const double* positions, int nMarkers, std::size_t maxLines);

}  // namespace linkstat
