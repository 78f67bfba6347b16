// linkstat_cohortgen: a synthetic cohort for bench/linkstat/cohort.sh. From a marker file of phased
// chromosomes (one allele letter per chromosome) it keeps the markers at positions FROM..TO and makes N
// individuals, each of two different chromosomes drawn at random (std::mt19937 with a fixed seed, so the
// cohort is the same on every machine). It writes the cohort as PREFIX.markers.txt (linkstat's input) and
// as PREFIX.ped and PREFIX.map (the text form the peer converts with --make-bed).
//
//   linkstat_cohortgen N MARKERS PREFIX [FROM TO [SEED]]     default 1000000 1999999 20240611

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "error.hpp"
#include "markerformat.hpp"
#include "numbers.hpp"
#include "reader.hpp"

namespace {

struct Marker {
    long position;
    std::string ratio;
    std::string alleles;
};

int usage() {
    std::cerr << "usage: linkstat_cohortgen N MARKERS PREFIX [FROM TO [SEED]]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 6 && argc != 7) return usage();
    const long individuals = std::atol(argv[1]);
    const std::string prefix = argv[3];
    const long from = argc > 4 ? std::atol(argv[4]) : 1000000;
    const long to = argc > 5 ? std::atol(argv[5]) : 1999999;
    const unsigned long seed = argc > 6 ? std::strtoul(argv[6], nullptr, 10) : 20240611;
    if (individuals < 1) return usage();

    // Lines of fewer than four fields, and lines whose position is not a whole number, are skipped.
    std::vector<Marker> markers;
    try {
        ldtools::FileReader in(argv[2]);
        ldtools::MarkerReader lines(in, {.layout = ldtools::MarkerLayout::lines});
        ldtools::MarkerFields fields;
        for (ldtools::MarkerRead read; (read = lines.next(fields)) != ldtools::MarkerRead::end;) {
            std::int32_t position = 0;
            if (read != ldtools::MarkerRead::marker || ldtools::parseInt32(fields.words[0], position) != ldtools::WholeNumber::ok)
                continue;
            if (position < from || position > to) continue;
            if (!markers.empty() && fields.alleles.size() != markers.front().alleles.size()) {
                std::cerr << "linkstat_cohortgen: markers with different numbers of chromosomes\n";
                return 1;
            }
            markers.push_back(Marker{position, fields.words[2], std::string(fields.alleles)});
        }
    } catch (const ldtools::SystemError&) {
        std::cerr << "linkstat_cohortgen: cannot read " << argv[2] << "\n";
        return 1;
    }
    if (markers.empty() || markers.front().alleles.size() < 2) {
        std::cerr << "linkstat_cohortgen: no markers between " << from << " and " << to << "\n";
        return 1;
    }

    // Two different chromosomes per individual; rng() % n keeps the draw the same on every library.
    const auto chromosomes = static_cast<unsigned long>(markers.front().alleles.size());
    std::mt19937 rng(static_cast<std::mt19937::result_type>(seed));
    std::vector<unsigned long> drawn(2 * static_cast<std::size_t>(individuals));
    for (std::size_t i = 0; i < drawn.size(); i += 2) {
        drawn[i] = rng() % chromosomes;
        do drawn[i + 1] = rng() % chromosomes;
        while (drawn[i + 1] == drawn[i]);
    }

    std::ofstream out(prefix + ".markers.txt");
    for (const Marker& m : markers) {
        std::string alleles(drawn.size(), ' ');
        for (std::size_t k = 0; k < drawn.size(); ++k) alleles[k] = m.alleles[drawn[k]];
        out << m.position << '\t' << drawn.size() << '\t' << m.ratio << '\t' << alleles << '\n';
    }
    constexpr std::size_t kPhasedChromosomes = 100;
    bool snpsWritten = true;
    if (drawn.size() >= kPhasedChromosomes) {
        std::ofstream snps(prefix + ".snps.txt");
        for (const Marker& m : markers) {
            const char first = m.alleles[0];
            std::size_t firstCount = 0;
            for (const char c : m.alleles) firstCount += c == first;
            const bool firstIsZero = 2 * firstCount >= m.alleles.size();
            std::string coded(kPhasedChromosomes, '0');
            int ones = 0;
            for (std::size_t k = 0; k < kPhasedChromosomes; ++k) {
                const bool isFirst = m.alleles[drawn[k]] == first;
                if (isFirst != firstIsZero) coded[k] = '1', ++ones;
            }
            snps << m.position << '\t' << kPhasedChromosomes << '\t' << ones + 1 << '\t' << coded << '\n';
        }
        snpsWritten = static_cast<bool>(snps);
    }
    std::ofstream map(prefix + ".map");
    for (const Marker& m : markers) map << "20\tsnp" << m.position << "\t0\t" << m.position << '\n';
    std::ofstream ped(prefix + ".ped");
    for (long i = 0; i < individuals; ++i) {
        const std::string id = std::to_string(i + 1);
        std::string line;
        line.reserve(32 + 4 * markers.size());
        line.append("F").append(id).append(" I").append(id).append(" 0 0 0 -9");
        for (const Marker& m : markers) {
            line += ' ';
            line += m.alleles[drawn[2 * static_cast<std::size_t>(i)]];
            line += ' ';
            line += m.alleles[drawn[2 * static_cast<std::size_t>(i) + 1]];
        }
        ped << line << '\n';
    }
    if (!out || !map || !ped || !snpsWritten) {
        std::cerr << "linkstat_cohortgen: cannot write " << prefix << ".*\n";
        return 1;
    }
    std::cerr << markers.size() << " markers, " << individuals << " individuals\n";
    return 0;
}
