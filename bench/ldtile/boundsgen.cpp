// Writes an LD bounds file for benchmarks: one record "%d\t%d\t\t%5.3f\t%5.3f" per pair of SNPs
// less than 200,000 position units apart, in the order of a loop over every SNP and every later
// SNP (a SNP whose next neighbour lies more than 200,000 units away gets no record).
//
//   ldtile_boundsgen markers FILE   SNPs at the positions of a marker file (its first column)
//   ldtile_boundsgen stress         17,370 SNPs 399 or 400 units apart: 500 partners each
//
// The bounds imitate real data: SNPs fall into haplotype blocks of a few to some tens of
// thousands of units, pairs inside a block are mostly in strong LD, pairs across blocks mostly
// show recombination or are uninformative, and some SNPs are rare and give uninformative pairs.

#include "boundsformat.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A small fixed generator, so that the file is the same on every machine.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double between(double lo, double hi) { return lo + (hi - lo) * uniform(); }

private:
    uint64_t state_;
};

std::vector<int> markerPositions(const char* path) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "ldtile_boundsgen: cannot open %s\n", path);
        std::exit(1);
    }
    std::vector<int> positions;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first, second, third, fourth;
        if (fields >> first >> second >> third >> fourth) positions.push_back(std::atoi(first.c_str()));
    }
    return positions;
}

std::vector<int> stressPositions() {
    std::vector<int> positions;
    int position = 1000;
    for (int k = 0; k < 17370; ++k) {
        positions.push_back(position);
        position += k % 2 == 0 ? 399 : 400;
    }
    return positions;
}

struct SnpTraits {
    int block;   // haplotype block the SNP belongs to
    bool rare;   // its pairs are uninformative
};

std::vector<SnpTraits> assignBlocks(const std::vector<int>& positions, Random& random) {
    std::vector<SnpTraits> traits(positions.size());
    int block = 0;
    double blockEnd = positions.empty() ? 0 : positions[0];
    for (size_t i = 0; i < positions.size(); ++i) {
        if (positions[i] > blockEnd) {
            ++block;
            blockEnd = positions[i] + 2000 - 15000 * std::log(1.0 - random.uniform());
        }
        traits[i] = {block, random.uniform() < 0.08};
    }
    return traits;
}

void bounds(const SnpTraits& a, const SnpTraits& b, Random& random, double& lower, double& upper) {
    const double kind = random.uniform();
    if (a.rare || b.rare) {
        upper = random.between(0.95, 1.0);
        lower = random.between(0.0, 0.6);
    } else if (a.block == b.block && kind < 0.93) {
        upper = kind < 0.6 ? 1.0 : random.between(0.985, 1.0);
        lower = random.between(0.72, 0.97);
    } else if (a.block == b.block || kind < 0.55) {
        upper = random.between(0.2, 0.899);
        lower = random.between(0.0, upper);
    } else {
        upper = random.between(0.9, 1.0);
        lower = random.between(0.0, 0.69);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> positions;
    if (argc == 3 && std::string(argv[1]) == "markers") {
        positions = markerPositions(argv[2]);
    } else if (argc == 2 && std::string(argv[1]) == "stress") {
        positions = stressPositions();
    } else {
        std::fprintf(stderr, "usage: ldtile_boundsgen markers FILE | ldtile_boundsgen stress\n");
        return 1;
    }
    Random random(20240611);
    const std::vector<SnpTraits> traits = assignBlocks(positions, random);
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    const size_t n = positions.size();
    for (size_t i = 0; i + 1 < n; ++i) {
        if (positions[i + 1] - positions[i] > ldtools::kPairWindow) continue;
        for (size_t j = i + 1; j < n && positions[j] - positions[i] < ldtools::kPairWindow; ++j) {
            double lower, upper;
            bounds(traits[i], traits[j], random, lower, upper);
            std::printf("%d\t%d\t\t%5.3f\t%5.3f\n", positions[i], positions[j], lower, upper);
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
