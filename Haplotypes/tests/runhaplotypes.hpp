#pragma once
// Running the built haplotypes program and writing its input files, for the program tests.

#include <functional>
#include <string>
#include <vector>

#include "process.hpp"

namespace haplotypestest {

inline testsupport::RunResult haplotypes(std::vector<std::string> args, const std::string& workdir = "") {
    args.insert(args.begin(), HAPLOTYPES_BIN);
    testsupport::RunOptions options;
    options.workdir = workdir;
    return testsupport::run(args, options);
}

// A marker line whose allele of chromosome c is allele(c).
inline std::string marker(int position, const std::function<char(int)>& allele) {
    std::string alleles;
    for (int c = 0; c < 100; ++c) alleles.push_back(allele(c));
    return std::to_string(position) + "\t100\t1\t" + alleles + "\n";
}

}  // namespace haplotypestest
