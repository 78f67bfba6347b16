#include "snps.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

#include "blockformat.hpp"
#include "error.hpp"
#include "markerformat.hpp"
#include "numbers.hpp"
#include "reader.hpp"

namespace haplotypes {

ldtools::Error fileFault(const char* what, const std::string& kind, const std::string& name,
                         const ldtools::SystemError& error) {
    return ldtools::Error("haplotypes: " + std::string(what) + " " + kind + " file " + name + ": " + error.reason() +
                          "\n");
}

namespace {

using ldtools::WholeNumber;

// The longest field any of the files may hold: far more than an allele string or a
// position needs, and small enough that an endless word (a device, a damaged file) ends
// with an error instead of taking all memory.
constexpr size_t kMaxFieldLength = size_t{1} << 20;
const char* const fieldtoolong = "field longer than 1048576 characters";

// A file read through the shared reader; an open error ends the run with a message that
// names the kind of file, and so does a read error met by read().
class InputFile {
public:
    InputFile(const std::string& name, const std::string& kind) try : kind_(kind), reader_(name) {
    } catch (const ldtools::SystemError& error) {
        throw fileFault("cannot open", kind, name, error);
    }

    ldtools::FileReader& reader() { return reader_; }

    // Calls step(), which reads the file.
    template <class Step>
    auto read(Step step) {
        try {
            return step();
        } catch (const ldtools::SystemError& error) {
            throw fileFault("cannot read", kind_, reader_.name(), error);
        }
    }

private:
    std::string kind_;
    ldtools::FileReader reader_;
};

[[noreturn]] void recordFault(const std::string& kind, const std::string& name, long long record,
                              const std::string& reason) {
    throw ldtools::Error("haplotypes: " + kind + " file " + name + ": record " + std::to_string(record) + ": " +
                         reason + "\n");
}

[[noreturn]] void linefault(const std::string& name, long long line, const std::string& reason) {
    throw ldtools::Error("haplotypes: block file " + name + ": line " + std::to_string(line) + ": " + reason + "\n");
}

// Reads a marker file: a stream of four-field records (position, two fields that are
// not used, allele string); a record may span lines.
int readMarkers(const std::string& filename, const std::string& kind, std::vector<int>& positions,
                std::vector<std::string>& alleles) {
    InputFile in(filename, kind);
    ldtools::MarkerReader markers(in.reader(), {.layout = ldtools::MarkerLayout::records, .maxWord = kMaxFieldLength});
    ldtools::AlleleCoder coder;
    std::vector<int> newpositions;
    std::vector<std::string> newalleles;
    ldtools::MarkerFields fields;
    for (long long record = 1;; ++record) {
        switch (in.read([&] { return markers.next(fields); })) {
            case ldtools::MarkerRead::marker: break;
            case ldtools::MarkerRead::end:
                positions = std::move(newpositions);
                alleles = std::move(newalleles);
                return static_cast<int>(positions.size());
            case ldtools::MarkerRead::incomplete:
                recordFault(kind, filename, record, "incomplete record (fewer than four fields)");
            default: recordFault(kind, filename, record, fieldtoolong);
        }
        int position = 0;
        switch (ldtools::parseInt32(fields.words[0], position)) {
            case WholeNumber::notWhole: recordFault(kind, filename, record, "position is not a whole number");
            case WholeNumber::outOfRange: recordFault(kind, filename, record, "position is out of range");
            case WholeNumber::ok: break;
        }
        if (!newpositions.empty() && position <= newpositions.back())
            recordFault(kind, filename, record, "positions do not ascend strictly");
        if (fields.alleles.size() < numchroms)
            recordFault(kind, filename, record, "allele string has fewer than 100 characters");
        std::string allele(fields.alleles.substr(0, numchroms));
        if (!ldtools::recodeAlleles(allele.data(), allele.size(), coder))
            recordFault(kind, filename, record, "more than two alleles");
        newpositions.push_back(position);
        newalleles.push_back(std::move(allele));
    }
}

int blockPosition(std::string_view field, const char* which, const std::string& filename, long long line) {
    int value = 0;
    switch (ldtools::parseInt32(field, value)) {
        case WholeNumber::notWhole: linefault(filename, line, std::string(which) + " position is not a whole number");
        case WholeNumber::outOfRange: linefault(filename, line, std::string(which) + " position is out of range");
        case WholeNumber::ok: break;
    }
    return value;
}

}  // namespace

bool recodeAlleles(std::string& alleles) {
    ldtools::AlleleCoder coder;
    return ldtools::recodeAlleles(alleles.data(), alleles.size(), coder);
}

int readSNPfromfile(Tables& tables, const std::string& filename) {
    return readMarkers(filename, "SNP", tables.snparray, tables.allelearray);
}

int readKnownSNPfromfile(Tables& tables, const std::string& filename) {
    return readMarkers(filename, "known-SNP", tables.knownSNParray, tables.knownallelearray);
}

int readblocksfromfile(Tables& tables, const std::string& filename) {
    InputFile in(filename, "block");
    // The header is optional: the first line that is not blank is skipped when its first field
    // does not begin like a number.
    ldtools::BlockFileReader lines(in.reader(), {.header = ldtools::BlockHeader::optional, .maxWord = kMaxFieldLength});
    std::vector<std::array<int, 2>> blocks;
    std::vector<int> linenumbers;
    ldtools::BlockLine line;
    for (ldtools::BlockRead read; (read = in.read([&] { return lines.next(line); })) != ldtools::BlockRead::end;) {
        const long long lineno = lines.line();
        if (read != ldtools::BlockRead::block) linefault(filename, lineno, fieldtoolong);
        if (line.count != 4)
            linefault(filename, lineno, "expected four fields (first position, index, last position, index)");
        int first = blockPosition(line.words[0], "first", filename, lineno);
        int last = blockPosition(line.words[2], "last", filename, lineno);
        if (first > last) linefault(filename, lineno, "first position is greater than last position");
        if (!blocks.empty() && first <= blocks.back()[1])
            linefault(filename, lineno,
                      "blocks out of order or overlapping (the lines after the header must be sorted by their "
                      "first column)");
        blocks.push_back({first, last});
        linenumbers.push_back(static_cast<int>(lineno));
    }
    tables.blockarray = std::move(blocks);
    tables.blocklines = std::move(linenumbers);
    return static_cast<int>(tables.blockarray.size());
}

void checkBlockPositions(const Tables& tables, const std::string& blockfilename) {
    for (size_t b = 0; b < tables.blockarray.size(); ++b)
        for (int position : tables.blockarray[b])
            if (getindexfrompos(tables, position) < 0)
                linefault(blockfilename, tables.blocklines[b],
                          "position " + std::to_string(position) + " is not in the SNP file");
}

int getSNPpos(const Tables& tables, int num) { return tables.snparray[num]; }

int getKnownPosition(const Tables& tables, int i) { return tables.knownSNParray[i]; }

int getindexfrompos(const Tables& tables, int pos) {
    auto at = std::lower_bound(tables.snparray.begin(), tables.snparray.end(), pos);
    return at != tables.snparray.end() && *at == pos ? static_cast<int>(at - tables.snparray.begin()) : -1;
}

int snpKnown(const Tables& tables, int position) {
    if (tables.Known == 0) return 1;
    return std::binary_search(tables.knownSNParray.begin(), tables.knownSNParray.end(), position) ? 1 : 0;
}

}  // namespace haplotypes
