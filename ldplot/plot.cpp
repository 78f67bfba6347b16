#include "plot.hpp"

#include <optional>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "geneticmap.hpp"

namespace ldplot {

// ---- colours ----------------------------------------------------------------------------------

ColourKey boundKey(double bound) {
    const double t = bound > 1.0 ? 1.0 : (bound > 0.0 ? bound : 0.0);
    return static_cast<ColourKey>(5 + std::lround(t * (kBoundLevels - 1)));
}

Rgb scaleColour(double t) {
    return {1.0 - 0.2 * t, 1.0 - t, 1.0 - t};
}

Rgb keyColour(ColourKey key) {
    switch (key) {
    case classKey(PairClass::strong):
        return {0.839, 0.153, 0.157};  // red
    case classKey(PairClass::recombination):
        return {0.122, 0.467, 0.706};  // blue
    case classKey(PairClass::uninformative):
        return {0.780, 0.780, 0.780};  // light grey
    case classKey(PairClass::noRecord):
        return {0.941, 0.706, 0.000};  // amber
    case kBlankKey:
        return {1.0, 1.0, 1.0};
    default:
        return scaleColour((key - 5) / static_cast<double>(kBoundLevels - 1));
    }
}

// ---- layout -----------------------------------------------------------------------------------

Layout::Layout(int width, int snps, int depth, bool track, int legendRows)
    : width(width), plotWidth(width - 2 * kMargin), snps(snps), depth(depth), track(track), legendRows(legendRows) {
    cellSize = snps > 0 ? static_cast<double>(plotWidth) / snps : 0.0;
    titleBaseline = 26;
    int y = 38;
    if (track) {
        trackTop = y;
        trackHeight = 56;
        y += trackHeight + 8;
    }
    axisY = y + 20;
    stripTop = axisY + 44;
    matrixTop = stripTop + 16;
    if (snps > 0 && depth > 0) {
        const std::int64_t twice = 2 * static_cast<std::int64_t>(snps);
        matrixRows = static_cast<int>(((depth + std::int64_t{1}) * plotWidth + twice - 1) / twice);
    }
    legendTop = matrixTop + matrixRows + 20;
    height = legendTop + legendRows * kLegendRowHeight + 8;
}

int Layout::pixelColumn(int a, int b) const {
    return static_cast<int>((std::int64_t{a} + b + 1) * plotWidth / (2 * static_cast<std::int64_t>(snps)));
}

int Layout::pixelRow(int a, int b) const {
    return static_cast<int>((std::int64_t{b} - a) * plotWidth / (2 * static_cast<std::int64_t>(snps)));
}

int legendRowsFor(Colouring colouring, bool folded) {
    // class: four colours, two notes; a bound: the scale and its numbers, the no-record colour,
    // two notes. Folded pictures add the rule of the pixels.
    if (colouring == Colouring::pairClass) return 6 + (folded ? 1 : 0);
    return 5 + (folded ? 2 : 0);
}

double Plot::axisX(double position) const {
    if (axisTo > axisFrom) return layout.left + (position - axisFrom) / (axisTo - axisFrom) * layout.plotWidth;
    return layout.left + layout.plotWidth / 2.0;
}

// ---- folding the pairs ------------------------------------------------------------------------

namespace {

// Visits every pair of SNPs less than kPairWindow apart: visit(a, b).
template <class Visit>
void forEachNearPair(const std::vector<std::int32_t>& snps, Visit visit) {
    const int n = static_cast<int>(snps.size());
    int end = 0;
    for (int a = 0; a < n; ++a) {
        end = std::max(end, a + 1);
        while (end < n && std::int64_t{snps[end]} - snps[a] < kPairWindow) ++end;
        for (int b = a + 1; b < end; ++b) visit(a, b);
    }
}

// Calls visit(a, b, value) for every kept pair, with the indices of its SNPs in snps.
template <class Visit>
void forEachKeptPair(PairSpool& pairs, const std::vector<std::int32_t>& snps, Visit visit) {
    std::size_t a = 0;
    std::size_t b = 0;
    std::int32_t first = 0;
    bool started = false;
    pairs.forEach([&](const KeptPair& pair) {
        if (!started || pair.first != first) {
            started = true;
            first = pair.first;
            a = gallop(snps, a, pair.first);
            b = a + 1;
        }
        // mostly the next SNP of the run (SNPs are distinct and ascending: then gallop finds it too)
        if (b + 1 < snps.size() && snps[b + 1] == pair.second)
            ++b;
        else
            b = gallop(snps, b, pair.second);
        if (a >= snps.size() || snps[a] != pair.first || b >= snps.size() || snps[b] != pair.second)
            throw std::logic_error("a kept pair names a position that is not a SNP");
        visit(static_cast<int>(a), static_cast<int>(b), pair.value);
    });
}

// The pixel of the cell of SNPs a < b, as Layout::pixelRow and pixelColumn give it, looked up
// instead of divided: the column depends on a + b alone and the row on b - a alone.
class PixelTable {
public:
    PixelTable(const Layout& layout, int depth) {
        const int n = layout.snps;
        const auto width = static_cast<std::size_t>(layout.plotWidth);
        columns_.resize(static_cast<std::size_t>(2 * n));
        for (int sum = 1; sum < 2 * n; ++sum)
            columns_[sum] = static_cast<std::uint32_t>(layout.pixelColumn(0, sum - 1));
        rowStarts_.resize(static_cast<std::size_t>(depth) + 1);
        for (int gap = 0; gap <= depth; ++gap) rowStarts_[gap] = layout.pixelRow(0, gap) * width;
    }
    std::size_t operator()(int a, int b) const {
        return rowStarts_[static_cast<std::size_t>(b - a)] + columns_[static_cast<std::size_t>(a + b + 1)];
    }

private:
    std::vector<std::uint32_t> columns_;    // by a + b + 1
    std::vector<std::size_t> rowStarts_;   // by b - a: the row's first pixel
};

ColourKey valueKey(Colouring colouring, double value) {
    return colouring == Colouring::pairClass ? classKey(static_cast<PairClass>(static_cast<int>(value)))
                                             : boundKey(value);
}

// One colour per cell: the cells of pairs less than 200,000 apart start as "no record".
void colourCells(Plot& plot, PairSpool& pairs) {
    MatrixColours& m = plot.matrix;
    m.keys.assign(static_cast<std::size_t>(m.columns) * m.depth, kBlankKey);
    auto at = [&](int a, int b) -> ColourKey& { return m.keys[static_cast<std::size_t>(a) * m.depth + (b - a - 1)]; };
    forEachNearPair(plot.snps, [&](int a, int b) { at(a, b) = classKey(PairClass::noRecord); });
    const Colouring colouring = plot.options.colouring;
    forEachKeptPair(pairs, plot.snps, [&](int a, int b, double value) {
        at(a, b) = valueKey(colouring, value);
        if (colouring == Colouring::pairClass) ++plot.classCounts[static_cast<int>(value)];
    });
}

// More SNPs than pixels: every pixel gathers the pairs whose cell centre it holds and shows the
// class most of them have (ties: strong LD, recombination, uninformative, no record), or the mean
// of their bounds (no record when most of its pairs lack one).
void foldPixels(Plot& plot, PairSpool& pairs, bool missing) {
    const Layout& layout = plot.layout;
    MatrixColours& m = plot.matrix;
    const std::size_t pixels = static_cast<std::size_t>(layout.plotWidth) * layout.matrixRows;
    const PixelTable pixelOf(layout, m.depth);
    m.keys.assign(pixels, kBlankKey);

    if (plot.options.colouring == Colouring::pairClass) {
        // Counts by class; the no-record count starts at every pair less than 200,000 apart and
        // loses one for every record.
        std::vector<std::array<std::uint32_t, kPairClassCount>> counts(pixels, {0, 0, 0, 0});
        const int none = static_cast<int>(PairClass::noRecord);
        if (missing) forEachNearPair(plot.snps, [&](int a, int b) { ++counts[pixelOf(a, b)][none]; });
        forEachKeptPair(pairs, plot.snps, [&](int a, int b, double value) {
            auto& pixel = counts[pixelOf(a, b)];
            ++pixel[static_cast<int>(value)];
            ++plot.classCounts[static_cast<int>(value)];
            if (missing) --pixel[none];
        });
        for (std::size_t k = 0; k < pixels; ++k) {
            int best = -1;
            std::uint32_t most = 0;
            for (int c = 0; c < kPairClassCount; ++c) {
                if (counts[k][c] > most) {
                    most = counts[k][c];
                    best = c;
                }
            }
            if (best >= 0) m.keys[k] = classKey(static_cast<PairClass>(best));
        }
        return;
    }

    std::vector<double> sums(pixels, 0.0);
    std::vector<std::uint32_t> recorded(pixels, 0);
    std::vector<std::uint32_t> lacking(missing ? pixels : 0, 0);
    if (missing) forEachNearPair(plot.snps, [&](int a, int b) { ++lacking[pixelOf(a, b)]; });
    forEachKeptPair(pairs, plot.snps, [&](int a, int b, double value) {
        const std::size_t k = pixelOf(a, b);
        sums[k] += value;
        ++recorded[k];
        if (missing) --lacking[k];
    });
    for (std::size_t k = 0; k < pixels; ++k) {
        const std::uint32_t without = missing ? lacking[k] : 0;
        if (without > recorded[k])
            m.keys[k] = classKey(PairClass::noRecord);
        else if (recorded[k] > 0)
            m.keys[k] = boundKey(sums[k] / recorded[k]);
    }
}

std::vector<double> recombinationRates(const Plot& plot) {
    const int columns = plot.layout.plotWidth;
    std::vector<double> boundaries;
    const bool range = plot.haveAxis && plot.axisTo > plot.axisFrom;
    if (range) {
        boundaries.resize(static_cast<std::size_t>(columns) + 1);
        for (int c = 0; c <= columns; ++c)
            boundaries[c] = plot.axisFrom + (plot.axisTo - plot.axisFrom) * c / columns;
    }
    // The map is read (and checked) even when there is no range to draw it along.
    const std::vector<double> cm = geneticPositions(plot.options.map, boundaries);
    std::vector<double> rates(static_cast<std::size_t>(columns), std::numeric_limits<double>::quiet_NaN());
    if (range) {
        for (int c = 0; c < columns; ++c)
            rates[c] = (cm[c + 1] - cm[c]) / ((boundaries[c + 1] - boundaries[c]) / 1e6);
    }
    return rates;
}

// The bounds read, and the blocks placed when only the region was read: by their ends in it; when
// they cannot be (a block spans the region), the file is read whole and regionBlocks stays empty.
BoundsScan scanWithBlocks(const Options& options, std::size_t spoolBufferPairs, std::size_t keptPairs,
                          std::optional<RegionBlocks>& regionBlocks) {
    BoundsScan scan = scanBounds(options, spoolBufferPairs, keptPairs);
    if (scan.regionOnly && !options.blocks.empty()) {
        regionBlocks = placeBlocksInRegion(options.blocks, scan.positions, options.from, options.to, options.bounds);
        if (!regionBlocks) return scanBounds(options, spoolBufferPairs, keptPairs, false);
    }
    return scan;
}

}  // namespace

Plot loadPlot(const Options& options, std::size_t spoolBufferPairs, std::size_t keptPairs) {
    Plot plot;
    plot.options = options;
    std::optional<RegionBlocks> regionBlocks;
    BoundsScan scan = scanWithBlocks(options, spoolBufferPairs, keptPairs, regionBlocks);
    const std::vector<std::int32_t>& all = scan.positions;
    plot.totalSnps = all.size();

    std::size_t low = 0;
    std::size_t high = all.size();
    if (options.hasRange) {
        low = static_cast<std::size_t>(std::lower_bound(all.begin(), all.end(), options.from) - all.begin());
        high = static_cast<std::size_t>(std::upper_bound(all.begin(), all.end(), options.to) - all.begin());
        plot.haveAxis = true;
        plot.axisFrom = options.from;
        plot.axisTo = options.to;
    } else if (!all.empty()) {
        plot.haveAxis = true;
        plot.axisFrom = all.front();
        plot.axisTo = all.back();
    }
    plot.snps.assign(all.begin() + static_cast<std::ptrdiff_t>(low), all.begin() + static_cast<std::ptrdiff_t>(high));
    plot.firstIndex = low;

    if (regionBlocks) {
        // Indices among all SNPs of the file: the region's first SNP is SNP low + offset.
        plot.firstIndex = low + regionBlocks->offset;
        plot.blocks = std::move(regionBlocks->blocks);
    } else if (!options.blocks.empty()) {
        for (const Block& block : readBlockFile(options.blocks, all, options.bounds))
            if (block.last >= low && block.first < high) plot.blocks.push_back(block);
    }

    std::uint64_t near = 0;
    int depth = 0;
    forEachNearPair(plot.snps, [&](int a, int b) {
        ++near;
        depth = std::max(depth, b - a);
    });
    const int n = static_cast<int>(plot.snps.size());
    const bool folded = Layout::foldsAt(options.width, n);
    plot.layout = Layout(options.width, n, depth, !options.map.empty(), legendRowsFor(options.colouring, folded));

    plot.pairs = scan.pairs.size();
    plot.classCounts[static_cast<int>(PairClass::noRecord)] = near - plot.pairs;

    MatrixColours& m = plot.matrix;
    m.depth = depth;
    m.columns = folded ? plot.layout.plotWidth : n;
    if (folded)
        foldPixels(plot, scan.pairs, near > plot.pairs);
    else
        colourCells(plot, scan.pairs);

    if (!options.map.empty()) plot.rates = recombinationRates(plot);
    return plot;
}

}  // namespace ldplot
