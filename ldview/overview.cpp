#include "overview.hpp"

#include <algorithm>
#include <array>

namespace ldview {
namespace {

using Counts = std::array<std::uint32_t, 4>;  // strong, recombination, uninformative, no record

// The columns of the finest level handled at once, so that the counts stay small.
constexpr std::int64_t kBandColumns = 4096;

std::uint8_t majority(const Counts& counts) {
    int best = -1;
    std::uint32_t most = 0;
    for (int c = 0; c < 4; ++c) {
        if (counts[c] > most) {
            most = counts[c];
            best = c;
        }
    }
    return static_cast<std::uint8_t>(best + 1);  // 0: no pairs
}

// Counts the pairs of the finest-level columns [from, to) and folds them into every level.
void foldBand(const PairStore& store, std::vector<OverviewLevel>& levels, std::int64_t from, std::int64_t to) {
    const std::int64_t n = static_cast<std::int64_t>(store.snps().size());
    const std::int64_t depth = store.depth();
    const int finest = static_cast<int>(levels.size()) - 1;
    const std::int64_t width = levels[finest].width;
    const std::int64_t rows = levels[finest].rows;
    const std::int64_t columns = to - from;
    std::vector<Counts> counts(static_cast<std::size_t>(columns * rows), Counts{0, 0, 0, 0});

    // A pair's column is t * width / (2n) with t = a + b + 1, so the band holds t from
    // ceil(from * 2n / width) up to (not including) ceil(to * 2n / width), and b - a <= depth
    // bounds the first SNPs that can reach it.
    const std::int64_t tFrom = (from * 2 * n + width - 1) / width;
    const std::int64_t tTo = (to * 2 * n + width - 1) / width;
    const std::int64_t aFrom = std::max<std::int64_t>(0, (tFrom - depth - 1) / 2);
    const std::int64_t aTo = std::min<std::int64_t>(n - 1, tTo / 2);
    const std::vector<std::int32_t>& ends = store.ends();
    for (std::int64_t a = aFrom; a <= aTo; ++a) {
        std::int64_t b = a + 1;
        auto count = [&](std::int64_t upTo, int pairClass) {
            for (; b <= upTo; ++b) {
                const std::int64_t t = a + b + 1;
                if (t < tFrom) continue;
                if (t >= tTo) break;
                const std::int64_t column = t * width / (2 * n) - from;
                const std::int64_t row = (b - a) * width / (2 * n);
                ++counts[static_cast<std::size_t>(row * columns + column)][pairClass];
            }
            b = upTo + 1;
        };
        store.forEachOf(static_cast<std::int32_t>(a), [&](const KeptPair& pair) {
            count(a + pair.distance - 1, 3);
            count(a + pair.distance, static_cast<int>(classOf(pair.lower, pair.upper)) - 1);
        });
        count(ends[a], 3);
    }

    // Level k-1's pixel (c, r) gathers level k's (2c..2c+1, 2r..2r+1).
    for (int level = finest;; --level) {
        OverviewLevel& out = levels[level];
        const std::int64_t shift = finest - level;
        const std::int64_t first = from >> shift;
        const std::int64_t bandWidth = columns >> shift;
        for (std::int64_t r = 0; r < out.rows; ++r)
            for (std::int64_t c = 0; c < bandWidth; ++c)
                out.classes[static_cast<std::size_t>(r * out.width + first + c)] =
                    majority(counts[static_cast<std::size_t>(r * bandWidth + c)]);
        if (level == 0) break;
        const std::int64_t upperRows = levels[level - 1].rows;
        const std::int64_t upperWidth = bandWidth / 2;
        std::vector<Counts> upper(static_cast<std::size_t>(upperWidth * upperRows), Counts{0, 0, 0, 0});
        for (std::int64_t r = 0; r < out.rows; ++r)
            for (std::int64_t c = 0; c < bandWidth; ++c) {
                Counts& into = upper[static_cast<std::size_t>((r / 2) * upperWidth + c / 2)];
                const Counts& pixel = counts[static_cast<std::size_t>(r * bandWidth + c)];
                for (int k = 0; k < 4; ++k) into[k] += pixel[k];
            }
        counts.swap(upper);
    }
}

}  // namespace

std::int64_t foldedRows(std::int64_t width, std::int64_t snps, std::int64_t depth) {
    if (snps == 0 || depth == 0) return 0;
    return ((depth + 1) * width + 2 * snps - 1) / (2 * snps);
}

std::vector<OverviewLevel> buildOverview(const PairStore& store, std::int64_t plotWidth, ldtools::WorkerTeam& team) {
    const std::int64_t n = static_cast<std::int64_t>(store.snps().size());
    std::vector<OverviewLevel> levels;
    std::int64_t base = plotWidth;
    while (base % 2 == 0 && base / 2 >= kCoarsestWidth) base /= 2;
    for (std::int64_t width = base; width < n; width *= 2) {
        OverviewLevel level;
        level.width = width;
        level.rows = foldedRows(width, n, store.depth());
        level.classes.assign(static_cast<std::size_t>(width * level.rows), 0);
        levels.push_back(std::move(level));
    }
    if (levels.empty()) return levels;
    // Bands are whole columns of the coarsest level, so that each level's columns split evenly.
    const std::int64_t step = std::int64_t{1} << (levels.size() - 1);
    const std::int64_t band = std::max(step, kBandColumns / step * step);
    const std::int64_t finestWidth = levels.back().width;
    const std::size_t bands = static_cast<std::size_t>((finestWidth + band - 1) / band);
    team.forEach(bands, [&](std::size_t k, int) {
        const std::int64_t from = static_cast<std::int64_t>(k) * band;
        foldBand(store, levels, from, std::min(finestWidth, from + band));
    });
    return levels;
}

}  // namespace ldview
