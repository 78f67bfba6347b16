#pragma once
// The known SNPs of -k: a list of positions, one a line, or the positions of a VCF/BCF file; and
// the positions of --positions.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vcf2markers {

class KnownPositions {
public:
    // Reads the file. A VCF or BCF file (recognised by its content, compressed or not) gives the
    // positions of its records, chromosome by chromosome; any other file is a list of positions,
    // one whole number from 1 to 2147483647 a line, in any order (blank lines and blanks around
    // the number are allowed). Throws ldtools::Error when the file cannot be read or a line is
    // not a position.
    static KnownPositions load(const std::string& path);

    // The positions, ascending and without repeats, that lie on the chromosome (a plain list
    // applies to every chromosome) from first to last.
    std::vector<std::int64_t> on(const std::string& chromosome, std::int64_t first, std::int64_t last) const;

private:
    bool anyChromosome_ = false;
    std::map<std::string, std::vector<std::int64_t>> positions_;  // "" for a plain list
};

// The positions of a file for --positions: the first word of every line that is not blank (a
// marker file such as markers.txt, or a list of positions one a line), ascending and without
// repeats. Throws ldtools::Error when the file cannot be read or a first word is not a position.
std::vector<std::int64_t> loadPositionList(const std::string& path);

}  // namespace vcf2markers
