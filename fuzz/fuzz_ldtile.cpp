// Any bytes as an LD bounds file for ldtile.
//
// A file the reader takes must give the table that its positions name (every distinct position a
// SNP, every record less than 200,000 units apart stored at its pair, bit for bit), and on small
// tables the fast block search must find exactly the blocks of the literal search of the tests
// (every candidate of every start SNP, the share counted pair by pair), and the share of every
// stretch must be the pair-by-pair share. A file the reader refuses must be refused with a reason
// that names the file. Anything else (a crash, a sanitizer report, a mismatch) aborts.

#include "LDvals.hpp"
#include "boundsfile.hpp"
#include "ldtile.hpp"
#include "literal.hpp"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scratchfile.hpp"

namespace {

// Tables up to this many SNPs are checked against the literal search.
constexpr int kLiteralLimit = 60;

[[noreturn]] void mismatch(const std::string& what) {
    std::fprintf(stderr, "fuzz_ldtile: %s\n", what.c_str());
    std::abort();
}


bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void checkTable(const ldtile::LDvals& ld, const literal::Table& expected) {
    if (ld.SNPcount() != expected.last) mismatch("last index");
    const int last = ld.SNPcount();
    for (int a = 0; a <= last; ++a) {
        if (ld.getSNPposition(a) != expected.positions[a]) mismatch("position of " + std::to_string(a));
    }
    // Every pair of a small table; the pairs the file holds and their neighbours in a large one.
    const auto check = [&](int a, int b) {
        const auto found = expected.bounds.find({a, b});
        const double lower = found == expected.bounds.end() ? 0.0 : found->second.first;
        const double upper = found == expected.bounds.end() ? 0.0 : found->second.second;
        if (!sameBits(ld.getLowerlimit(a, b), lower) || !sameBits(ld.getUpperlimit(b, a), upper)) {
            mismatch("bounds of " + std::to_string(a) + "," + std::to_string(b));
        }
    };
    if (last <= 200) {
        for (int a = 0; a <= last; ++a) {
            for (int b = a + 1; b <= last; ++b) check(a, b);
        }
    } else {
        for (const auto& [pair, bounds] : expected.bounds) {
            check(pair.first, pair.second);
            if (pair.second + 1 <= last) check(pair.first, pair.second + 1);
        }
    }
    for (int a = 0; a <= last; ++a) {
        int partner = a;
        for (auto it = expected.bounds.lower_bound({a, 0}); it != expected.bounds.end() && it->first.first == a; ++it) {
            partner = it->first.second;
        }
        if (ld.lastStoredPartner(a) != partner) mismatch("last partner of " + std::to_string(a));
    }
}

void checkSearch(const ldtile::LDvals& ld, double percentage) {
    const int last = ld.SNPcount();
    for (int lo = 0; lo <= last; ++lo) {
        for (int hi = lo + 1; hi <= last; ++hi) {
            const double expected = literal::share(ld, lo, hi);
            const double actual = ld.percentofinfoinLD(hi, lo);
            if (std::isnan(expected) ? !std::isnan(actual) : actual != expected) {
                mismatch("share of " + std::to_string(lo) + ".." + std::to_string(hi));
            }
        }
    }
    std::vector<ldtile::Block> expected;
    literal::longestBlocks(ld, 0, last, expected, percentage);
    std::vector<ldtile::Block> actual;
    if (ldtile::getLongestBlock(ld, 0, last, actual, 0, percentage) != static_cast<int>(expected.size())) {
        mismatch("block count");
    }
    for (size_t k = 0; k < expected.size(); ++k) {
        if (actual[k].first != expected[k].first || actual[k].last != expected[k].last) {
            mismatch("block " + std::to_string(k));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzsupport::ScratchFile input("fuzz_ldtile");
    const std::string& name = input.hold(data, size);

    ldtile::LDvals ld;
    try {
        ld.loadConfvalues(name);
    } catch (const ldtile::BoundsFileError& error) {
        const std::string reason = error.what();
        if (reason.rfind(name + ": line ", 0) != 0) mismatch("reason without a line: " + reason);
        return 0;
    }

    std::vector<literal::Record> records;
    ldtile::BoundsFileReader reader(name);
    ldtile::BoundsRecord record;
    while (reader.next(record)) records.push_back({record.first, record.second, record.lower, record.upper});
    checkTable(ld, literal::readByPositions(records));

    // The percentage comes from the input's length, so that every share cut-off gets its turn.
    static const double percentages[] = {0.95, 0.5, 0.8, 2.0 / 3.0, 0.9, 0.0};
    const double percentage = percentages[size % 6];
    if (ld.SNPcount() <= kLiteralLimit) {
        checkSearch(ld, percentage);
    } else {
        std::vector<ldtile::Block> blocks;
        ldtile::getLongestBlock(ld, 0, ld.SNPcount(), blocks, 0, percentage);
    }
    return 0;
}
