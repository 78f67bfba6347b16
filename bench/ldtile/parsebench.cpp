// Times the reading of an LD bounds file two ways: parsing alone (every record read and
// converted, nothing kept) and loading the bounds table with its share counts.
//
//   ldtile_parsebench FILE [REPEATS]
//
// Prints the record count, the pairs stored, and the best time of each over REPEATS runs.

#include "LDvals.hpp"
#include "boundsfile.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Reads every record; the checksum keeps the conversions from being optimised away.
double parseOnly(const std::string& name, long long& records, double& checksum) {
    const auto start = std::chrono::steady_clock::now();
    ldtile::BoundsFileReader reader(name);
    ldtile::BoundsRecord record;
    records = 0;
    checksum = 0;
    while (reader.next(record)) {
        ++records;
        checksum += record.second - record.first + record.lower + record.upper;
    }
    return seconds(std::chrono::steady_clock::now() - start);
}

double load(ldtile::LDvals& ld, const std::string& name, int& lastIndex) {
    const auto start = std::chrono::steady_clock::now();
    lastIndex = ld.loadConfvalues(name);
    return seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ldtile_parsebench FILE [REPEATS]\n");
        return 1;
    }
    const std::string name = argv[1];
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    long long records = 0;
    double checksum = 0;
    double bestParse = 1e30;
    double bestLoad = 1e30;
    int lastIndex = 0;
    ldtile::LDvals ld;
    try {
        for (int r = 0; r < repeats; ++r) {
            double t = parseOnly(name, records, checksum);
            if (t < bestParse) bestParse = t;
            t = load(ld, name, lastIndex);
            if (t < bestLoad) bestLoad = t;
        }
    } catch (const ldtile::BoundsFileError& error) {
        std::fprintf(stderr, "ldtile_parsebench: %s\n", error.what());
        return 1;
    }
    std::printf("records %lld\nstored_pairs %lld\nsnps %d\nparse_seconds %.3f\nload_seconds %.3f\nchecksum %.6g\n",
                records, ld.storedPairCount(), lastIndex + 1, bestParse, bestLoad, checksum);
    return 0;
}
