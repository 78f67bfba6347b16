// The picture as drawn on an image surface: the colour at the centre of chosen cells, block
// outlines, the legend, the pixel rule when there are more SNPs than pixels, and -r.

#include <cairo.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "error.hpp"
#include "plot.hpp"
#include "render.hpp"
#include "scratch.hpp"
#include "synthetic.hpp"

namespace ldplot {
namespace {

using ldplottest::blockFile;
using ldplottest::Bounds;
using ldplottest::boundsFile;
using ldplottest::evenlySpaced;
using testsupport::ScratchDir;
using testsupport::writeFile;

// cairo and fontconfig keep caches for the life of the process: released at the end, so that the
// leak checker sees only real leaks.
class ReleaseFontCaches : public ::testing::Environment {
public:
    void TearDown() override {
        cairo_debug_reset_static_data();
        FcFini();
    }
};
const auto* const releaseFontCaches = ::testing::AddGlobalTestEnvironment(new ReleaseFontCaches);

constexpr ColourKey strongKey = classKey(PairClass::strong);
constexpr ColourKey recombinationKey = classKey(PairClass::recombination);
constexpr ColourKey uninformativeKey = classKey(PairClass::uninformative);
constexpr ColourKey noRecordKey = classKey(PairClass::noRecord);
const Rgb white{1, 1, 1};

class Picture : public ::testing::Test {
protected:
    ScratchDir dir;

    Options options(const std::string& bounds, int width = 1600) {
        writeFile(dir.file("bounds.txt"), bounds);
        Options o;
        o.bounds = dir.file("bounds.txt");
        o.output = dir.file("unused.png");
        o.width = width;
        return o;
    }
    std::string blocks(const std::string& text) {
        writeFile(dir.file("blocks.dat"), text);
        return dir.file("blocks.dat");
    }

    void draw(const Plot& plot) {
        image_ = renderImage(plot);
        ASSERT_EQ(cairo_image_surface_get_width(image_.get()), plot.layout.width);
        ASSERT_EQ(cairo_image_surface_get_height(image_.get()), plot.layout.height);
    }
    // The colour of the pixel holding the point (x, y), as bytes.
    std::array<int, 3> pixel(double x, double y) const {
        const int column = static_cast<int>(std::floor(x));
        const int row = static_cast<int>(std::floor(y));
        const unsigned char* data = cairo_image_surface_get_data(image_.get());
        const int stride = cairo_image_surface_get_stride(image_.get());
        std::uint32_t value;
        std::memcpy(&value, data + row * stride + column * 4, 4);
        return {static_cast<int>(value >> 16 & 0xFF), static_cast<int>(value >> 8 & 0xFF),
                static_cast<int>(value & 0xFF)};
    }
    ::testing::AssertionResult hasColour(double x, double y, const Rgb& expected) const {
        const auto actual = pixel(x, y);
        const int want[3] = {static_cast<int>(std::lround(expected.r * 255)),
                             static_cast<int>(std::lround(expected.g * 255)),
                             static_cast<int>(std::lround(expected.b * 255))};
        for (int k = 0; k < 3; ++k) {
            if (std::abs(actual[k] - want[k]) > 1)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << actual[0] << "," << actual[1] << "," << actual[2]
                       << ", expected " << want[0] << "," << want[1] << "," << want[2];
        }
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult cellHas(const Plot& plot, int a, int b, ColourKey key) const {
        return hasColour(plot.layout.cellX(a, b), plot.layout.cellY(a, b), keyColour(key));
    }
    // A thin line through (x, y) darkens the pixels whose centres lie next to the point: the
    // darkest of the four must be nearly black.
    ::testing::AssertionResult isDark(double x, double y) const {
        std::array<int, 3> darkest{255, 255, 255};
        for (double dx : {-0.5, 0.5})
            for (double dy : {-0.5, 0.5}) {
                const auto p = pixel(x + dx, y + dy);
                if (p[0] + p[1] + p[2] < darkest[0] + darkest[1] + darkest[2]) darkest = p;
            }
        if (darkest[0] < 80 && darkest[1] < 80 && darkest[2] < 80) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "near (" << x << ", " << y << ") the darkest pixel is " << darkest[0]
                                             << "," << darkest[1] << "," << darkest[2];
    }

private:
    SurfacePtr image_;
};

// Five SNPs 10,000 apart, and a sixth 200,000 beyond the fifth that only a far record names.
// (0,1) strong, (0,2) recombination, (0,3) uninformative, (0,4) without record, the rest strong.
std::string sixSnps() {
    const std::vector<std::int32_t> positions = {10000, 20000, 30000, 40000, 50000};
    return boundsFile(positions,
                      [](int a, int b) -> std::optional<Bounds> {
                          if (a == 0 && b == 2) return ldplottest::recombination;
                          if (a == 0 && b == 3) return ldplottest::uninformative;
                          if (a == 0 && b == 4) return std::nullopt;
                          return ldplottest::strongLd;
                      }) +
           "50000\t250000\t0.9\t1.0\n";
}

TEST_F(Picture, CellsShowThePairClassesAndTheLegendTheirColours) {
    const Plot plot = loadPlot(options(sixSnps()));
    ASSERT_EQ(plot.snps.size(), 6u);
    ASSERT_TRUE(plot.layout.cellShapes());
    EXPECT_EQ(plot.pairs, 9u);  // ten pairs less than 200,000 apart, one without record
    EXPECT_EQ(plot.classCounts, (std::array<std::uint64_t, 4>{7, 1, 1, 1}));
    draw(plot);
    EXPECT_TRUE(cellHas(plot, 0, 1, strongKey));
    EXPECT_TRUE(cellHas(plot, 0, 2, recombinationKey));
    EXPECT_TRUE(cellHas(plot, 0, 3, uninformativeKey));
    EXPECT_TRUE(cellHas(plot, 0, 4, noRecordKey));
    EXPECT_TRUE(cellHas(plot, 3, 4, strongKey));
    // 200,000 apart: blank, like the background.
    EXPECT_TRUE(hasColour(plot.layout.cellX(4, 5), plot.layout.cellY(4, 5), white));
    for (int row = 0; row < 4; ++row)
        EXPECT_TRUE(hasColour(plot.layout.swatchX(), plot.layout.swatchY(row),
                              keyColour(classKey(static_cast<PairClass>(row)))))
            << "legend row " << row;
}

TEST_F(Picture, SmallCellsAreDrawnPixelByPixel) {
    // 600 SNPs 50,000 apart: three partners each, cells of 2.6 pixels.
    const std::vector<std::int32_t> positions = evenlySpaced(600, 100000, 50000);
    const Plot plot = loadPlot(options(boundsFile(positions, [](int a, int b) -> std::optional<Bounds> {
        if (b - a == 3) return a % 2 == 0 ? ldplottest::recombination : ldplottest::uninformative;
        if (a == 300 && b == 302) return std::nullopt;
        return ldplottest::strongLd;
    })));
    ASSERT_FALSE(plot.layout.cellShapes());
    ASSERT_FALSE(plot.layout.folded());
    EXPECT_EQ(plot.layout.depth, 3);
    draw(plot);
    EXPECT_TRUE(cellHas(plot, 0, 1, strongKey));
    EXPECT_TRUE(cellHas(plot, 10, 13, recombinationKey));
    EXPECT_TRUE(cellHas(plot, 11, 14, uninformativeKey));
    EXPECT_TRUE(cellHas(plot, 300, 302, noRecordKey));
    EXPECT_TRUE(cellHas(plot, 598, 599, strongKey));
}

TEST_F(Picture, BoundsOnAWhiteToRedScale) {
    const std::vector<std::int32_t> positions = {1000, 2000, 3000, 4000};
    const std::string text = boundsFile(positions, [](int a, int b) -> std::optional<Bounds> {
        if (a == 0 && b == 1) return Bounds{0.5, 0.9};
        if (a == 0 && b == 2) return Bounds{1.2, 0.25};  // out of 0..1: the end of the scale
        if (a == 1 && b == 2) return Bounds{-0.3, 1.0};
        if (a == 0 && b == 3) return std::nullopt;
        return Bounds{0.2, 0.6};
    });
    Options lower = options(text);
    lower.colouring = Colouring::lower;
    Plot plot = loadPlot(lower);
    draw(plot);
    EXPECT_TRUE(cellHas(plot, 0, 1, boundKey(0.5)));
    EXPECT_TRUE(hasColour(plot.layout.cellX(0, 1), plot.layout.cellY(0, 1), scaleColour(128 / 255.0)));
    EXPECT_TRUE(hasColour(plot.layout.cellX(0, 2), plot.layout.cellY(0, 2), scaleColour(1)));
    EXPECT_TRUE(hasColour(plot.layout.cellX(1, 2), plot.layout.cellY(1, 2), white));
    EXPECT_TRUE(cellHas(plot, 0, 3, noRecordKey));
    // The colour bar runs from white to red; the no-record colour follows it.
    EXPECT_TRUE(hasColour(plot.layout.left + 1, plot.layout.swatchY(0), scaleColour(0.005)));
    EXPECT_TRUE(hasColour(plot.layout.left + 198, plot.layout.swatchY(0), scaleColour(0.9925)));
    EXPECT_TRUE(hasColour(plot.layout.swatchX(), plot.layout.swatchY(2), keyColour(noRecordKey)));

    Options upper = options(text);
    upper.colouring = Colouring::upper;
    plot = loadPlot(upper);
    draw(plot);
    EXPECT_TRUE(cellHas(plot, 0, 1, boundKey(0.9)));
    EXPECT_TRUE(cellHas(plot, 0, 2, boundKey(0.25)));
    EXPECT_TRUE(cellHas(plot, 2, 3, boundKey(0.6)));
}

TEST_F(Picture, BlocksAreOutlinedOverTheirSnps) {
    const std::vector<std::int32_t> positions = evenlySpaced(9, 5000, 1000);
    Options o = options(boundsFile(positions, [](int, int) { return ldplottest::strongLd; }));
    // In the order the block finder writes them: not sorted.
    o.blocks = blocks(blockFile(positions, {{4, 8}, {1, 3}}));
    const Plot plot = loadPlot(o);
    ASSERT_EQ(plot.blocks.size(), 2u);
    draw(plot);
    const Layout& l = plot.layout;
    // The middle of the left side, from the first SNP's column down to the end pair's cell,
    // and the middle of the top side.
    EXPECT_TRUE(isDark((l.snpX(4) + l.cellX(4, 8)) / 2, (l.matrixTop + l.cellY(4, 8)) / 2));
    EXPECT_TRUE(isDark((l.snpX(1) + l.cellX(1, 3)) / 2, (l.matrixTop + l.cellY(1, 3)) / 2));
    EXPECT_TRUE(isDark((l.snpX(4) + l.snpX(8)) / 2, l.matrixTop + 0.5));
    EXPECT_TRUE(isDark(l.cellX(4, 8), l.cellY(4, 8) - 1));  // the apex
    // Inside a block and outside any, cells keep their colour.
    EXPECT_TRUE(cellHas(plot, 5, 7, strongKey));
    EXPECT_TRUE(cellHas(plot, 0, 1, strongKey));
    EXPECT_TRUE(cellHas(plot, 2, 6, strongKey));
}

TEST_F(Picture, RangeDrawsOnlyItsSnpsAndTheirPairs) {
    const std::vector<std::int32_t> positions = evenlySpaced(10, 10000, 10000);
    Options o = options(boundsFile(positions, [](int a, int b) -> std::optional<Bounds> {
        if (a == 2 && b == 3) return ldplottest::recombination;
        if (a == 3 && b == 6) return ldplottest::uninformative;
        return ldplottest::strongLd;
    }));
    o.blocks = blocks(blockFile(positions, {{7, 9}, {1, 4}}));
    o.hasRange = true;
    o.from = 30000;  // SNPs 2 to 6
    o.to = 75000;
    const Plot plot = loadPlot(o);
    EXPECT_EQ(plot.snps, (std::vector<std::int32_t>{30000, 40000, 50000, 60000, 70000}));
    EXPECT_EQ(plot.firstIndex, 2u);
    EXPECT_EQ(plot.totalSnps, 10u);
    EXPECT_EQ(plot.pairs, 10u);
    EXPECT_EQ(plot.axisFrom, 30000);
    EXPECT_EQ(plot.axisTo, 75000);
    ASSERT_EQ(plot.blocks.size(), 1u);  // 1-4 reaches in, 7-9 lies beyond
    EXPECT_EQ(plot.blocks[0].first, 1u);
    draw(plot);
    EXPECT_TRUE(cellHas(plot, 0, 1, recombinationKey));
    EXPECT_TRUE(cellHas(plot, 1, 4, uninformativeKey));
    EXPECT_TRUE(cellHas(plot, 0, 4, strongKey));
    // The block 1-4 shows the part of its outline inside the range: its right side, from SNP 4
    // (zoomed index 2) down towards SNP 1's column.
    const Layout& l = plot.layout;
    EXPECT_TRUE(isDark((l.snpX(2) + l.cellX(-1, 2)) / 2, (l.matrixTop + l.cellY(-1, 2)) / 2));
}

// Groups the pairs less than 200,000 apart by the pixel that holds their cell centre.
std::map<std::pair<int, int>, std::vector<std::pair<int, int>>> pairsByPixel(const Layout& layout,
                                                                              const std::vector<std::int32_t>& snps) {
    std::map<std::pair<int, int>, std::vector<std::pair<int, int>>> pixels;
    for (int a = 0; a < static_cast<int>(snps.size()); ++a)
        for (int b = a + 1; b < static_cast<int>(snps.size()) && snps[b] - snps[a] < 200000; ++b)
            pixels[{layout.pixelColumn(a, b), layout.pixelRow(a, b)}].emplace_back(a, b);
    return pixels;
}

TEST_F(Picture, MoreSnpsThanPixelsShowTheClassOfMostPairs) {
    // 1,000 SNPs 60,000 apart (three partners each) on 360 pixels: several pairs per pixel.
    const std::vector<std::int32_t> positions = evenlySpaced(1000, 100000, 60000);
    const Layout layout(400, 1000, 3, false, legendRowsFor(Colouring::pairClass, true));
    ASSERT_TRUE(layout.folded());
    std::vector<std::vector<std::pair<int, int>>> chosen;
    for (const auto& [pixel, pairs] : pairsByPixel(layout, positions))
        if (pairs.size() >= 6 && chosen.size() < 5 && pixel.first % 20 == 0) chosen.push_back(pairs);
    ASSERT_EQ(chosen.size(), 5u);

    // The classes given to the pairs of each chosen pixel, as counts of strong, recombination,
    // uninformative, no record (in this order); h pairs lead, fewer follow.
    std::map<std::pair<int, int>, int> classOf;  // 0..2, or 3: no record
    std::vector<ColourKey> expected;
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const int m = static_cast<int>(chosen[k].size());
        const int h = (m + 4) / 3;  // more than a third: at most one other class reaches it
        std::array<int, 4> counts{};
        switch (k) {
        case 0: counts = {h, h, m - 2 * h, 0}; expected.push_back(strongKey); break;          // tie
        case 1: counts = {m - 2 * h, h, h, 0}; expected.push_back(recombinationKey); break;   // tie
        case 2: counts = {0, m - 2 * h, h, h}; expected.push_back(uninformativeKey); break;   // tie
        case 3: counts = {h - 1, m - 2 * h + 1, 0, h}; expected.push_back(noRecordKey); break;
        case 4: counts = {h - 1, 0, h, m - 2 * h + 1}; expected.push_back(uninformativeKey); break;
        }
        ASSERT_GE(m - 2 * h, 0);
        ASSERT_LT(m - 2 * h + 1, h) << "the rest must stay below the leaders";
        std::size_t next = 0;
        for (int c = 0; c < 4; ++c)
            for (int j = 0; j < counts[c]; ++j) classOf[chosen[k][next++]] = c;
    }
    const Bounds byClass[] = {ldplottest::strongLd, ldplottest::recombination, ldplottest::uninformative};
    const Plot plot = loadPlot(options(boundsFile(positions,
                                                  [&](int a, int b) -> std::optional<Bounds> {
                                                      const auto found = classOf.find({a, b});
                                                      if (found == classOf.end()) return ldplottest::recombination;
                                                      if (found->second == 3) return std::nullopt;
                                                      return byClass[found->second];
                                                  }),
                                       400));
    ASSERT_EQ(plot.snps.size(), 1000u);
    ASSERT_EQ(plot.layout.plotWidth, layout.plotWidth);
    ASSERT_EQ(plot.layout.matrixRows, layout.matrixRows);
    draw(plot);
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const auto [a, b] = chosen[k][0];
        EXPECT_TRUE(hasColour(layout.left + layout.pixelColumn(a, b) + 0.5,
                              plot.layout.matrixTop + layout.pixelRow(a, b) + 0.5, keyColour(expected[k])))
            << "pixel " << k << " of " << chosen[k].size() << " pairs";
    }
}

TEST_F(Picture, MoreSnpsThanPixelsShowTheMeanBound) {
    const std::vector<std::int32_t> positions = evenlySpaced(1000, 100000, 60000);
    const Layout layout(400, 1000, 3, false, legendRowsFor(Colouring::lower, true));
    std::vector<std::vector<std::pair<int, int>>> chosen;
    for (const auto& [pixel, pairs] : pairsByPixel(layout, positions))
        if (pairs.size() >= 6 && chosen.size() < 3 && pixel.first % 30 == 0) chosen.push_back(pairs);
    ASSERT_EQ(chosen.size(), 3u);
    // Pixel 0: bounds 0.1, 0.2, ... (mean known); pixel 1: half lack a record (the mean of the
    // others); pixel 2: most lack a record.
    std::map<std::pair<int, int>, double> lowerOf;  // < 0: no record
    std::vector<ColourKey> expected;
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const int m = static_cast<int>(chosen[k].size());
        double sum = 0;
        int recorded = 0;
        for (int j = 0; j < m; ++j) {
            const bool missing = (k == 1 && j < m / 2) || (k == 2 && j <= m / 2);
            const double lower = missing ? -1 : 0.1 * (j + 1) - 0.05;
            lowerOf[chosen[k][j]] = lower;
            if (!missing) {
                sum += lower;
                ++recorded;
            }
        }
        expected.push_back(k == 2 ? noRecordKey : boundKey(sum / recorded));
    }
    Options o = options(boundsFile(positions,
                                   [&](int a, int b) -> std::optional<Bounds> {
                                       const auto found = lowerOf.find({a, b});
                                       if (found == lowerOf.end()) return Bounds{0.99, 1.0};
                                       if (found->second < 0) return std::nullopt;
                                       return Bounds{found->second, 1.0};
                                   }),
                        400);
    o.colouring = Colouring::lower;
    const Plot plot = loadPlot(o);
    draw(plot);
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        const auto [a, b] = chosen[k][0];
        EXPECT_TRUE(hasColour(layout.left + layout.pixelColumn(a, b) + 0.5,
                              plot.layout.matrixTop + layout.pixelRow(a, b) + 0.5, keyColour(expected[k])))
            << "pixel " << k;
    }
}

// Loads the plot of o with its bounds fed through a named pipe (which cannot be read twice). A
// load that fails closes the pipe early: the writer then meets a broken pipe, ignored here.
Plot loadPlotFromPipe(Options o, const std::string& fifo, std::size_t spoolBufferPairs) {
    const std::string text = testsupport::readFile(o.bounds);
    if (::mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    std::thread writer([&] {
        if (FILE* out = std::fopen(fifo.c_str(), "w")) {
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
        }
    });
    o.bounds = fifo;
    auto finish = [&] {
        writer.join();
        ::unlink(fifo.c_str());
        ::sigaction(SIGPIPE, &previous, nullptr);
    };
    try {
        Plot plot = loadPlot(o, spoolBufferPairs);
        finish();
        return plot;
    } catch (...) {
        finish();
        throw;
    }
}

// A regular bounds file is read twice and keeps no pair; a pipe's pairs wait in memory and beyond
// a small buffer in a temporary file: every way gives the same picture.
TEST_F(Picture, PairsOfAPipeGoThroughATemporaryFileUnchanged) {
    const std::vector<std::int32_t> positions = evenlySpaced(400, 1000, 1500);
    const Options o = options(boundsFile(positions, [](int a, int b) -> std::optional<Bounds> {
        if ((a * 7 + b) % 11 == 0) return std::nullopt;
        return (a + b) % 3 == 0 ? ldplottest::strongLd : ldplottest::uninformative;
    }));
    const Plot reread = loadPlot(o, 5);
    const Plot inMemory = loadPlotFromPipe(o, dir.file("pipe1"), std::size_t{1} << 20);
    const Plot spooled = loadPlotFromPipe(o, dir.file("pipe2"), 5);
    ASSERT_GT(spooled.pairs, 5u);
    EXPECT_EQ(spooled.pairs, reread.pairs);
    EXPECT_EQ(spooled.matrix.keys, inMemory.matrix.keys);
    EXPECT_EQ(reread.matrix.keys, inMemory.matrix.keys);
    EXPECT_EQ(spooled.classCounts, inMemory.classCounts);
    EXPECT_EQ(reread.classCounts, inMemory.classCounts);

    // Without a folder for the temporary file, a pipe's run stops with a clear error; a regular
    // file or a small pipe needs none.
    const char* before = std::getenv("TMPDIR");
    const std::string saved = before ? before : "";
    ::setenv("TMPDIR", dir.file("missing").c_str(), 1);
    try {
        loadPlotFromPipe(o, dir.file("pipe3"), 5);
        ADD_FAILURE() << "no error";
    } catch (const ldtools::Error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "ldplot: cannot create a temporary file in " + dir.file("missing") + ": No such file or directory\n");
    }
    EXPECT_NO_THROW(loadPlot(o, 5));
    EXPECT_NO_THROW(loadPlotFromPipe(o, dir.file("pipe4"), std::size_t{1} << 20));
    if (before) ::setenv("TMPDIR", saved.c_str(), 1); else ::unsetenv("TMPDIR");
}

// A regular bounds file is read once while its pairs to draw fit the limit, and read a second time
// past it (with a range, only the pairs inside it count); every way gives the picture of a pipe,
// coloured by class or by a bound.
TEST_F(Picture, RegularFilesAreReadOnceUpToTheLimit) {
    const std::vector<std::int32_t> positions = evenlySpaced(300, 1000, 1500);
    Options o = options(boundsFile(positions, [](int a, int b) -> std::optional<Bounds> {
        if ((a * 5 + b) % 13 == 0) return std::nullopt;
        if ((a + b) % 7 == 0) return Bounds{0.05 * (a % 20), 1.0};
        return (a * b) % 4 == 0 ? ldplottest::strongLd : ldplottest::uninformative;
    }));
    std::uint64_t allPairs = 0;
    for (const Colouring colouring : {Colouring::lower, Colouring::pairClass}) {
        o.colouring = colouring;
        const Plot once = loadPlot(o, 5, std::size_t{1} << 20);
        allPairs = once.pairs;
        ASSERT_GT(once.pairs, 100u);
        EXPECT_FALSE(scanBounds(o, 5, once.pairs).pairs.rereads());
        EXPECT_TRUE(scanBounds(o, 5, once.pairs - 1).pairs.rereads());
        const Plot twice = loadPlot(o, 5, once.pairs - 1);
        const Plot piped = loadPlotFromPipe(o, dir.file("pipe"), 5);
        for (const Plot* other : {&twice, &piped}) {
            EXPECT_EQ(other->pairs, once.pairs);
            EXPECT_EQ(other->matrix.keys, once.matrix.keys);
            EXPECT_EQ(other->classCounts, once.classCounts);
        }
    }

    o.hasRange = true;
    o.from = positions[50];
    o.to = positions[120];
    const Plot inRange = loadPlot(o, 5, std::size_t{1} << 20);
    ASSERT_GT(inRange.pairs, 10u);
    ASSERT_LT(inRange.pairs, allPairs);
    EXPECT_FALSE(scanBounds(o, 5, inRange.pairs).pairs.rereads());
    const Plot inRangeTwice = loadPlot(o, 5, 1);
    EXPECT_EQ(inRangeTwice.pairs, inRange.pairs);
    EXPECT_EQ(inRangeTwice.matrix.keys, inRange.matrix.keys);
}

TEST_F(Picture, EmptyInputGivesTitleAndLegendOnly) {
    Plot plot = loadPlot(options(""));
    EXPECT_TRUE(plot.snps.empty());
    EXPECT_FALSE(plot.haveAxis);
    EXPECT_EQ(plot.layout.matrixRows, 0);
    draw(plot);
    EXPECT_TRUE(hasColour(plot.layout.swatchX(), plot.layout.swatchY(0), keyColour(strongKey)));

    Options o = options(sixSnps());
    o.hasRange = true;
    o.from = 60000;
    o.to = 240000;
    plot = loadPlot(o);
    EXPECT_TRUE(plot.snps.empty());
    EXPECT_EQ(plot.pairs, 0u);
    draw(plot);
}

}  // namespace
}  // namespace ldplot
