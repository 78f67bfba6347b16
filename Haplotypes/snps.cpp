#include "snps.hpp"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "error.hpp"
#include "numbers.hpp"
#include "reader.hpp"

namespace haplotypes {

ldtools::Error filefault(const char* what, const std::string& kind, const std::string& name,
                         const ldtools::SystemError& error) {
    return ldtools::Error("haplotypes: " + std::string(what) + " " + kind + " file " + name + ": " + error.reason() +
                          "\n");
}

namespace {

using ldtools::WholeNumber;

// A file read through the shared reader; open and read errors end the run with a message
// that names the kind of file.
class InputFile {
public:
    InputFile(const std::string& name, const std::string& kind) try : kind_(kind), reader_(name) {
    } catch (const ldtools::SystemError& error) {
        throw filefault("cannot open", kind, name, error);
    }

    // The next byte, or EOF at the end of the file.
    int get() {
        try {
            return reader_.get();
        } catch (const ldtools::SystemError& error) {
            throw filefault("cannot read", kind_, reader_.name(), error);
        }
    }

private:
    std::string kind_;
    ldtools::FileReader reader_;
};

// The longest field any of the files may hold: far more than an allele string or a
// position needs, and small enough that an endless word (a device, a damaged file) ends
// with an error instead of taking all memory.
constexpr size_t maxfieldlength = size_t{1} << 20;
const char* const fieldtoolong = "field longer than 1048576 characters";

bool isfieldspace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Appends c to a field; false when the field would grow beyond maxfieldlength.
bool extendfield(std::string& field, int c) {
    if (field.size() == maxfieldlength) return false;
    field.push_back(static_cast<char>(c));
    return true;
}

enum class Field { read, end, toolong };

// The next white-space separated field of the file.
Field nextfield(InputFile& in, std::string& field) {
    int c;
    do c = in.get();
    while (c != EOF && isfieldspace(c));
    if (c == EOF) return Field::end;
    field.clear();
    for (; c != EOF && !isfieldspace(c); c = in.get())
        if (!extendfield(field, c)) return Field::toolong;
    return Field::read;
}

// The fields of the next line, at most `keep` of them (`count` tells how many it holds);
// false at the end of the file, or with `toolong` set at a field that is too long.
bool nextline(InputFile& in, std::vector<std::string>& fields, size_t keep, size_t& count, bool& toolong) {
    count = 0;
    toolong = false;
    int c = in.get();
    if (c == EOF) return false;
    bool infield = false;
    std::string ignored;
    for (; c != EOF && c != '\n'; c = in.get()) {
        if (isfieldspace(c)) {
            infield = false;
            continue;
        }
        if (!infield) {
            infield = true;
            if (count < keep) fields[count].clear();
            ignored.clear();
            ++count;
        }
        if (!extendfield(count <= keep ? fields[count - 1] : ignored, c)) {
            toolong = true;
            return true;
        }
    }
    return true;
}

// A field counts as a number, not as a header word, when it starts with a digit
// after an optional sign.
bool looksnumeric(std::string_view field) {
    size_t i = (!field.empty() && (field[0] == '+' || field[0] == '-')) ? 1 : 0;
    return i < field.size() && field[i] >= '0' && field[i] <= '9';
}

[[noreturn]] void recordfault(const std::string& kind, const std::string& name, long long record,
                              const std::string& reason) {
    throw ldtools::Error("haplotypes: " + kind + " file " + name + ": record " + std::to_string(record) + ": " +
                         reason + "\n");
}

[[noreturn]] void linefault(const std::string& name, long long line, const std::string& reason) {
    throw ldtools::Error("haplotypes: block file " + name + ": line " + std::to_string(line) + ": " + reason + "\n");
}

// Reads a marker file: a stream of four-field records (position, two fields that are
// not used, allele string); a record may span lines.
int readmarkers(const std::string& filename, const std::string& kind, std::vector<int>& positions,
                std::vector<std::string>& alleles) {
    InputFile in(filename, kind);
    std::vector<int> newpositions;
    std::vector<std::string> newalleles;
    std::string fields[4];
    for (long long record = 1;; ++record) {
        for (int f = 0; f < 4; ++f) {
            Field got = nextfield(in, fields[f]);
            if (got == Field::toolong) recordfault(kind, filename, record, fieldtoolong);
            if (got == Field::end && f == 0) {
                positions = std::move(newpositions);
                alleles = std::move(newalleles);
                return static_cast<int>(positions.size());
            }
            if (got == Field::end) recordfault(kind, filename, record, "incomplete record (fewer than four fields)");
        }
        int position = 0;
        switch (ldtools::parseInt32(fields[0], position)) {
            case WholeNumber::notWhole: recordfault(kind, filename, record, "position is not a whole number");
            case WholeNumber::outOfRange: recordfault(kind, filename, record, "position is out of range");
            case WholeNumber::ok: break;
        }
        if (!newpositions.empty() && position <= newpositions.back())
            recordfault(kind, filename, record, "positions do not ascend strictly");
        std::string& allele = fields[3];
        if (allele.size() < numchroms)
            recordfault(kind, filename, record, "allele string has fewer than 100 characters");
        allele.resize(numchroms);
        if (!recodealleles(allele)) recordfault(kind, filename, record, "more than two alleles");
        newpositions.push_back(position);
        newalleles.push_back(allele);
    }
}

int blockposition(std::string_view field, const char* which, const std::string& filename, long long line) {
    int value = 0;
    switch (ldtools::parseInt32(field, value)) {
        case WholeNumber::notWhole: linefault(filename, line, std::string(which) + " position is not a whole number");
        case WholeNumber::outOfRange: linefault(filename, line, std::string(which) + " position is out of range");
        case WholeNumber::ok: break;
    }
    return value;
}

}  // namespace

bool recodealleles(std::string& alleles) {
    char seen[2];
    int distinct = 0;
    for (char ch : alleles) {
        if (ch == '-' || (distinct > 0 && ch == seen[0]) || (distinct > 1 && ch == seen[1])) continue;
        if (distinct == 2) return false;
        seen[distinct++] = ch;
    }
    bool zerofree = true;
    for (int a = 0; a < distinct; ++a)
        if (seen[a] == '0') zerofree = false;
    char code[2];
    for (int a = 0; a < distinct; ++a) {
        if (seen[a] == '0' || seen[a] == '1') {
            code[a] = seen[a];
        } else {
            code[a] = zerofree ? '0' : '1';
            zerofree = false;
        }
    }
    for (char& ch : alleles)
        if (ch != '-') ch = ch == seen[0] ? code[0] : code[1];
    return true;
}

int readSNPfromfile(Tables& tables, const std::string& filename) {
    return readmarkers(filename, "SNP", tables.snparray, tables.allelearray);
}

int readKnownSNPfromfile(Tables& tables, const std::string& filename) {
    return readmarkers(filename, "known-SNP", tables.knownSNParray, tables.knownallelearray);
}

int readblocksfromfile(Tables& tables, const std::string& filename) {
    InputFile in(filename, "block");
    std::vector<std::array<int, 2>> blocks;
    std::vector<int> lines;
    std::vector<std::string> fields(4);
    size_t count = 0;
    bool toolong = false, headerchecked = false;
    for (long long lineno = 1; nextline(in, fields, 4, count, toolong); ++lineno) {
        if (toolong) linefault(filename, lineno, fieldtoolong);
        if (count == 0) continue;
        if (!headerchecked) {
            headerchecked = true;
            if (!looksnumeric(fields[0])) continue;
        }
        if (count != 4)
            linefault(filename, lineno, "expected four fields (first position, index, last position, index)");
        int first = blockposition(fields[0], "first", filename, lineno);
        int last = blockposition(fields[2], "last", filename, lineno);
        if (first > last) linefault(filename, lineno, "first position is greater than last position");
        if (!blocks.empty() && first <= blocks.back()[1])
            linefault(filename, lineno,
                      "blocks out of order or overlapping (the lines after the header must be sorted by their "
                      "first column)");
        blocks.push_back({first, last});
        lines.push_back(static_cast<int>(lineno));
    }
    tables.blockarray = std::move(blocks);
    tables.blocklines = std::move(lines);
    return static_cast<int>(tables.blockarray.size());
}

void checkblockpositions(const Tables& tables, const std::string& blockfilename) {
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
