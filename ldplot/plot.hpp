#pragma once
// What ldplot draws, gathered from the input files: the SNPs of the drawn range, the colour of
// every cell of the LD map (or of every pixel, when there are more SNPs than pixels), the blocks,
// the recombination rate along the axis, and where each part of the picture goes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "blocks.hpp"
#include "options.hpp"
#include "pairs.hpp"

namespace ldplot {

// ---- colours ----------------------------------------------------------------------------------

// The colour of a cell or pixel of the map, as a small number: 0 blank (nothing drawn), 1 to 4
// the pair classes, 5 to 260 the 256 steps of the white-to-red scale of a bound.
using ColourKey = std::uint16_t;
constexpr ColourKey kBlankKey = 0;
constexpr ColourKey classKey(PairClass c) { return static_cast<ColourKey>(1 + static_cast<int>(c)); }
constexpr int kBoundLevels = 256;
// The step of the scale for a bound (clamped to 0..1).
ColourKey boundKey(double bound);

struct Rgb {
    double r, g, b;
};
Rgb keyColour(ColourKey key);
// The white-to-red scale at t (0..1).
Rgb scaleColour(double t);

// ---- layout -----------------------------------------------------------------------------------

// Where everything goes, in pixels (one pixel is one point in SVG and PDF). From the top: title,
// recombination-rate track (with a map), position axis, the lines from each SNP's position to
// its column, a strip for block labels, the map (the rotated half-matrix, SNP i's column at
// snpX(i)), the legend.
class Layout {
public:
    static constexpr int kMargin = 20;
    static constexpr int kLegendRowHeight = 18;

    Layout() = default;
    // snps: SNPs in the drawn range; depth: the largest difference of SNP indices of a pair less
    // than 200,000 apart (0 when there is none).
    Layout(int width, int snps, int depth, bool track, int legendRows);

    int width = 0;
    int height = 0;
    int left = kMargin;    // x of the map's left edge
    int plotWidth = 0;    // width of the map
    int snps = 0;
    int depth = 0;
    double cellSize = 0;  // width (and height) of a cell's diamond
    int titleBaseline = 0;
    bool track = false;
    int trackTop = 0;
    int trackHeight = 0;
    int axisY = 0;
    int stripTop = 0;     // block labels
    int matrixTop = 0;
    int matrixRows = 0;   // pixel rows of the map
    int legendTop = 0;
    int legendRows = 0;

    // More SNPs than pixels: the map is folded into pixels, each showing most of its pairs.
    bool folded() const { return foldsAt(width, snps); }
    // Whether a picture `width` pixels wide folds a map of `snps` SNPs (before there is a layout).
    static bool foldsAt(int width, int snps) { return snps > width - 2 * kMargin; }
    // Cells large enough to be drawn as shapes; smaller ones are drawn as a raster.
    bool cellShapes() const { return cellSize >= 3.0; }

    double snpX(double index) const { return left + (index + 0.5) * cellSize; }
    // Centre of the cell of the pair of SNPs a < b.
    double cellX(int a, int b) const { return left + (a + b + 1) * cellSize / 2; }
    double cellY(int a, int b) const { return matrixTop + (b - a) * cellSize / 2; }
    // Column and row (from the map's top-left corner) of the pixel that holds the centre of the
    // cell of a < b, in exact integer arithmetic.
    int pixelColumn(int a, int b) const;
    int pixelRow(int a, int b) const;
    // Centre of the colour square of a legend row.
    double swatchX() const { return left + 6.0; }
    double swatchY(int row) const { return legendTop + row * kLegendRowHeight + 6.0; }
};

// ---- the map's colours ------------------------------------------------------------------------

// The colour key of every cell (a, b) with 1 <= b - a <= depth, at a * depth + (b - a - 1); or,
// folded, of every pixel of the map, at row * plotWidth + column.
struct MatrixColours {
    int columns = 0;  // plotWidth when folded, else the number of SNPs
    int depth = 0;
    std::vector<ColourKey> keys;

    ColourKey cell(int a, int b) const { return keys[static_cast<std::size_t>(a) * depth + (b - a - 1)]; }
    ColourKey pixel(int column, int row) const {
        return keys[static_cast<std::size_t>(row) * columns + column];
    }
};

// ---- the whole picture ------------------------------------------------------------------------

struct Plot {
    Options options;
    std::vector<std::int32_t> snps;  // positions of the SNPs drawn, ascending
    std::size_t firstIndex = 0;      // index of snps[0] among all SNPs of the bounds file
    std::size_t totalSnps = 0;       // SNPs of the bounds file
    bool haveAxis = false;
    double axisFrom = 0;             // the positions at the two ends of the axis
    double axisTo = 0;
    Layout layout;
    MatrixColours matrix;
    std::uint64_t pairs = 0;               // records drawn
    std::array<std::uint64_t, kPairClassCount> classCounts{};  // by class; noRecord: pairs
                                                                 // less than 200,000 apart lacking a record
    std::vector<Block> blocks;       // the blocks that reach into the drawn range
    std::vector<double> rates;       // cM/Mb of each column of the map width; empty without a map

    double axisX(double position) const;
};

// Reads the inputs of the options and works out the picture. Throws ldtools::Error, or
// ldtools::BoundsFileError for the bounds file.
// spoolBufferPairs and keptPairs: as scanBounds takes them.
Plot loadPlot(const Options& options, std::size_t spoolBufferPairs = std::size_t{1} << 13,
              std::size_t keptPairs = kKeptPairs);

// The legend's rows for a plot: the rows of the class colours or of the scale, and the notes.
int legendRowsFor(Colouring colouring, bool folded);

}  // namespace ldplot
