#pragma once
// Helpers of the linkstat tests: random marker files, and runs inside the test process that capture the
// report and the failure.

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "linkstat.hpp"
#include "reader.hpp"
#include "run.hpp"

namespace linkstat::testkit {

// A random marker file: several sets, odd and even chromosome numbers, missing alleles ("-" and "N", each
// allele missing with probability missingRate), monomorphic markers, zero marker ratios, ties and gaps beyond the window (positions within a set
// ascend: a falling position is refused).
inline std::string randomMarkers(std::mt19937& rng, int minChromosomes = 1, int maxChromosomes = 25, int maxMarkers = 60,
                                 double missingRate = 0.06) {
    auto chance = [&](double p) { return std::bernoulli_distribution(p)(rng); };
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const std::string letters = "ACGT01";
    std::ostringstream out;
    const int sets = uniform(1, 3);
    for (int s = 0; s < sets; ++s) {
        if (s > 0) out << (chance(0.5) ? "\n" : "1 2 3\n");
        const int chromosomes = uniform(minChromosomes, maxChromosomes);
        const int markers = uniform(0, maxMarkers);
        double position = uniform(0, 1000);
        bool half = false;  // the position is written with ".5"; kept for ties
        for (int m = 0; m < markers; ++m) {
            const char first = letters[static_cast<std::size_t>(uniform(0, 5))];
            char second = letters[static_cast<std::size_t>(uniform(0, 5))];
            if (second == first || chance(0.05)) second = first;  // monomorphic
            const double frequency = uniform(5, 95) / 100.0;
            std::string alleles;
            for (int k = 0; k < chromosomes; ++k)
                alleles += chance(missingRate) ? (chance(0.5) ? '-' : 'N') : chance(frequency) ? first : second;
            const std::string ratio = chance(0.05) ? "0" : chance(0.03) ? "x" : std::to_string(uniform(1, 50));
            out << static_cast<long>(position) << (half ? ".5" : "") << " " << chromosomes << " " << ratio << " "
                << alleles << "\n";
            const int step = uniform(0, 9);
            position += step == 0 ? 0 : step == 1 ? 200000 : step == 2 ? 200001 : step == 3 ? 20 : uniform(1, 60000);
            if (step != 0) half = chance(0.2);
        }
    }
    return out.str();
}

// What a run wrote to its report (everything, also before a failure, as on standard output), the
// failure's message, empty after a success, and the run's bounds tally.
struct Captured {
    std::string report;
    std::string error;
    int status = 0;
    BoundsTally tally;
};

// Runs the program's analysis on the options (which name the input with -I) inside this process.
inline Captured runCaptured(std::vector<std::string> options, const Tuning& tuning = Tuning{}) {
    options.insert(options.begin(), "linkstat");
    std::vector<char*> argv;
    for (std::string& a : options) argv.push_back(a.data());
    Captured captured;
    std::FILE* out = std::tmpfile();
    if (!out) throw std::runtime_error("tmpfile failed");
    {
        ldtools::BufferedWriter fpo(fileno(out));
        try {
            const Settings settings = readOptions(static_cast<int>(argv.size()), argv.data());
            ldtools::FileReader input(settings.inputName);
            Run run(settings, tuning, fpo);
            struct KeepTally {
                const Run& run;
                BoundsTally& into;
                ~KeepTally() { into = run.tally; }
            } keep{run, captured.tally};
            analyse(run, input);
        } catch (const Failure& failure) {
            captured.error = failure.what();
            captured.status = failure.status();
        }
        fpo.flush();
    }
    std::rewind(out);
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) captured.report.append(buffer, n);
    std::fclose(out);
    return captured;
}

}  // namespace linkstat::testkit
