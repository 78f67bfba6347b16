#include "snps.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace haplo {

std::vector<int> snparray;
std::vector<std::string> allelearray;
std::vector<int> knownSNParray;
std::vector<std::string> knownallelearray;
std::vector<std::array<int, 2>> blockarray;
std::vector<int> blocklines;
int Known = 0;

namespace {

// A file read through a buffer of its own; open and read errors end the run.
class InputFile {
public:
    InputFile(const std::string& name, const std::string& kind) : name_(name), kind_(kind) {
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) throw failure("cannot open", errno);
        struct stat info;
        if (fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
            ::close(fd_);
            throw failure("cannot open", EISDIR);
        }
    }
    ~InputFile() { ::close(fd_); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The next byte, or EOF at the end of the file.
    int get() {
        if (pos_ == end_ && !refill()) return EOF;
        return static_cast<unsigned char>(buffer_[pos_++]);
    }

private:
    bool refill() {
        ssize_t got;
        do got = ::read(fd_, buffer_.data(), buffer_.size());
        while (got < 0 && errno == EINTR);
        if (got < 0) throw failure("cannot read", errno);
        pos_ = 0;
        end_ = static_cast<size_t>(got);
        return got > 0;
    }
    Failure failure(const char* what, int error) const {
        return Failure("haplotypes: " + std::string(what) + " " + kind_ + " file " + name_ + ": " +
                      std::strerror(error) + "\n");
    }

    std::string name_, kind_;
    int fd_ = -1;
    std::vector<char> buffer_ = std::vector<char>(1 << 16);
    size_t pos_ = 0, end_ = 0;
};

bool isfieldspace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The next white-space separated field of the file; false at the end of the file.
bool nextfield(InputFile& in, std::string& field) {
    int c;
    do c = in.get();
    while (c != EOF && isfieldspace(c));
    if (c == EOF) return false;
    field.clear();
    for (; c != EOF && !isfieldspace(c); c = in.get()) field.push_back(static_cast<char>(c));
    return true;
}

// The next line without its line break; false at the end of the file.
bool nextline(InputFile& in, std::string& line) {
    line.clear();
    int c = in.get();
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = in.get()) line.push_back(static_cast<char>(c));
    return true;
}

std::vector<std::string_view> splitfields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (true) {
        while (i < line.size() && isfieldspace(line[i])) ++i;
        if (i == line.size()) return fields;
        size_t start = i;
        while (i < line.size() && !isfieldspace(line[i])) ++i;
        fields.push_back(line.substr(start, i - start));
    }
}

// A field counts as a number, not as a header word, when it starts with a digit
// after an optional sign.
bool looksnumeric(std::string_view field) {
    size_t i = (!field.empty() && (field[0] == '+' || field[0] == '-')) ? 1 : 0;
    return i < field.size() && field[i] >= '0' && field[i] <= '9';
}

[[noreturn]] void recordfault(const std::string& kind, const std::string& name, long long record,
                              const std::string& reason) {
    throw Failure("haplotypes: " + kind + " file " + name + ": record " + std::to_string(record) + ": " +
                  reason + "\n");
}

[[noreturn]] void linefault(const std::string& name, long long line, const std::string& reason) {
    throw Failure("haplotypes: block file " + name + ": line " + std::to_string(line) + ": " + reason + "\n");
}

// Reads a marker file: a stream of four-field records (position, two fields that are
// not used, allele string); a record may span lines.
int readmarkers(const std::string& filename, const std::string& kind, std::vector<int>& positions,
                std::vector<std::string>& alleles) {
    InputFile in(filename, kind);
    std::vector<int> newpositions;
    std::vector<std::string> newalleles;
    std::string fields[4];
    for (long long record = 1; nextfield(in, fields[0]); ++record) {
        for (int f = 1; f < 4; ++f)
            if (!nextfield(in, fields[f])) recordfault(kind, filename, record, "incomplete record (fewer than four fields)");
        int position = 0;
        switch (parsewholenumber(fields[0], position)) {
            case WholeNumber::notwhole: recordfault(kind, filename, record, "position is not a whole number");
            case WholeNumber::outofrange: recordfault(kind, filename, record, "position is out of range");
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
    positions = std::move(newpositions);
    alleles = std::move(newalleles);
    return static_cast<int>(positions.size());
}

int blockposition(std::string_view field, const char* which, const std::string& filename, long long line) {
    int value = 0;
    switch (parsewholenumber(field, value)) {
        case WholeNumber::notwhole: linefault(filename, line, std::string(which) + " position is not a whole number");
        case WholeNumber::outofrange: linefault(filename, line, std::string(which) + " position is out of range");
        case WholeNumber::ok: break;
    }
    return value;
}

}  // namespace

WholeNumber parsewholenumber(std::string_view text, int& value) {
    size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    bool negative = i == 1 && text[0] == '-';
    if (i == text.size()) return WholeNumber::notwhole;
    long long magnitude = 0;
    bool toolarge = false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return WholeNumber::notwhole;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > 2147483648LL) {
            toolarge = true;
            magnitude = 2147483648LL;
        }
    }
    if (toolarge || magnitude > (negative ? 2147483648LL : 2147483647LL)) return WholeNumber::outofrange;
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return WholeNumber::ok;
}

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

int readSNPfromfile(const std::string& filename) {
    return readmarkers(filename, "SNP", snparray, allelearray);
}

int readKnownSNPfromfile(const std::string& filename) {
    return readmarkers(filename, "known-SNP", knownSNParray, knownallelearray);
}

int readblocksfromfile(const std::string& filename) {
    InputFile in(filename, "block");
    std::vector<std::array<int, 2>> blocks;
    std::vector<int> lines;
    std::string line;
    bool headerchecked = false;
    for (long long lineno = 1; nextline(in, line); ++lineno) {
        auto fields = splitfields(line);
        if (fields.empty()) continue;
        if (!headerchecked) {
            headerchecked = true;
            if (!looksnumeric(fields[0])) continue;
        }
        if (fields.size() != 4)
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
    blockarray = std::move(blocks);
    blocklines = std::move(lines);
    return static_cast<int>(blockarray.size());
}

void checkblockpositions(const std::string& blockfilename) {
    for (size_t b = 0; b < blockarray.size(); ++b)
        for (int position : blockarray[b])
            if (getindexfrompos(position) < 0)
                linefault(blockfilename, blocklines[b],
                          "position " + std::to_string(position) + " is not in the SNP file");
}

int getSNPpos(int num) { return snparray[num]; }

int getKnownPosition(int i) { return knownSNParray[i]; }

int getindexfrompos(int pos) {
    auto at = std::lower_bound(snparray.begin(), snparray.end(), pos);
    return at != snparray.end() && *at == pos ? static_cast<int>(at - snparray.begin()) : -1;
}

int snpKnown(int position) {
    if (Known == 0) return 1;
    return std::binary_search(knownSNParray.begin(), knownSNParray.end(), position) ? 1 : 0;
}

}  // namespace haplo
