#pragma once
// The output files: each written under a temporary name in its folder and put in place only
// when the whole run succeeded, so a failed run leaves no partial file.

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "error.hpp"
#include "replacefile.hpp"
#include "writer.hpp"

namespace vcf2markers {

class OutputFile {
public:
    // Throws ldtools::Error ("cannot write PATH: reason") when the file cannot be made.
    explicit OutputFile(const std::string& path);

    // One line of the tool-chain's four-column format: position, chromosomes, count + 1 and
    // the allele string. Throws ldtools::Error when writing fails.
    void writeLine(std::int64_t position, int chromosomes, int countPlusOne, std::string_view alleles) {
        try {
            putNumber(position);
            out_.put('\t');
            putNumber(chromosomes);
            out_.put('\t');
            putNumber(countPlusOne);
            out_.put('\t');
            out_.put(alleles);
            out_.put('\n');
        } catch (const ldtools::SystemError& error) {
            failWrite(error);
        }
    }

    // One line of the ID file: position, ID, reference and alternate allele, separated by tabs.
    // Throws ldtools::Error when writing fails.
    void writeIdLine(std::int64_t position, std::string_view id, std::string_view ref, std::string_view alt) {
        try {
            putNumber(position);
            for (const std::string_view word : {id, ref, alt}) {
                out_.put('\t');
                out_.put(word);
            }
            out_.put('\n');
        } catch (const ldtools::SystemError& error) {
            failWrite(error);
        }
    }

    // Writes what is buffered. Throws ldtools::Error.
    void flush();
    // Puts the file in place under its name. Throws ldtools::Error.
    void commit();

private:
    void putNumber(std::int64_t value) {
        char text[24];
        const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
        out_.put(text, static_cast<std::size_t>(result.ptr - text));
    }
    [[noreturn]] void failWrite(const ldtools::SystemError& error) const;

    ldtools::ReplacementFile file_;
    ldtools::BufferedWriter out_;
};

}  // namespace vcf2markers
