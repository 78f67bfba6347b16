// Any bytes as vcf2markers' input: a VCF (plain or bgzip-compressed) or a BCF file, as htslib tells
// from the content. The first byte holds the settings: bit 0 writes no SNP file (-H none), bit 1
// keeps every polymorphic SNP (-m 0), bit 2 gives a known-SNP file (-k) and bit 3 a sample file
// (-S). With bit 2 or 3 the next two bytes give that file's length (high byte first, cut to what
// there is), and the input follows it.
//
// The conversion runs in-process. It must either throw ldtools::Error with one line for standard
// error and leave no file behind, or write files that hold what they promise: in the marker file,
// positions that ascend, the marker individuals' letters (two of REF/ALT/'-' each) with the counts
// of called and ALT alleles; in the SNP file, the same positions with the 100 alleles of 50
// individuals as 0/1 and the count of 1s; in the known-SNP file, lines of the SNP file. Anything
// else (a crash, a sanitizer report, another exception, a broken file) aborts.
//
// htslib sizes its record buffers by what a BCF record declares (up to some GB) before it finds the
// file too short; such memory is reserved, never touched. So fuzz_vcf2markers.options lets single
// allocations be large and keeps the limit on the memory actually used.

#include <dirent.h>
#include <unistd.h>

#include <htslib/hts.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "converter.hpp"
#include "error.hpp"

namespace {

[[noreturn]] void broken(const std::string& what) {
    std::fprintf(stderr, "fuzz_vcf2markers: %s\n", what.c_str());
    std::abort();
}

const char* const kOutputs[] = {"out.markers.txt", "out.snps.txt", "out.known.txt", "out.ids.txt"};

// The folder holding this process's input and output files.
class Folder {
public:
    Folder() {
        char name[] = "/tmp/fuzz_vcf2markers-XXXXXX";
        if (::mkdtemp(name) == nullptr) broken("cannot make a temporary folder");
        path_ = name;
    }
    ~Folder() {
        for (const std::string& name : names()) ::unlink(file(name).c_str());
        ::rmdir(path_.c_str());
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // The files in the folder, hidden temporary ones included, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        if (DIR* dir = ::opendir(path_.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") found.push_back(name);
            }
            ::closedir(dir);
        }
        std::sort(found.begin(), found.end());
        return found;
    }
    std::string write(const char* name, const std::uint8_t* data, std::size_t size) const {
        const std::string path = file(name);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || (size > 0 && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0)
            broken("cannot write " + path);
        return path;
    }
    std::string read(const char* name) const {
        std::string text;
        if (std::FILE* in = std::fopen(file(name).c_str(), "rb")) {
            char buffer[65536];
            std::size_t got;
            while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, got);
            std::fclose(in);
        }
        return text;
    }

private:
    std::string path_;
};

Folder* folder = nullptr;

struct Line {
    long position = 0;
    int chromosomes = 0;
    int countPlusOne = 0;
    std::string alleles;
};

// The lines of an output file in the four-column format, each checked for its form.
std::vector<Line> linesOf(const std::string& text, const char* file) {
    std::vector<Line> lines;
    std::istringstream in(text);
    std::string row;
    while (std::getline(in, row)) {
        Line line;
        char tail = '\0';
        std::istringstream fields(row);
        if (!(fields >> line.position >> line.chromosomes >> line.countPlusOne >> line.alleles) || fields >> tail)
            broken(std::string(file) + ": a line of other than four fields: " + row);
        if (std::count(row.begin(), row.end(), '\t') != 3) broken(std::string(file) + ": not tab-separated: " + row);
        lines.push_back(line);
    }
    if (!text.empty() && text.back() != '\n') broken(std::string(file) + ": the last line is cut");
    return lines;
}

void checkFiles(const vcf2markers::Summary& summary, bool snpFile, bool knownFile) {
    const std::vector<Line> markers = linesOf(folder->read("out.markers.txt"), "markers");
    if (markers.size() != summary.written) broken("the summary does not count the marker file's lines");
    long previous = -1;
    std::size_t width = 0;
    for (const Line& line : markers) {
        if (line.position <= previous) broken("marker positions that do not ascend");
        previous = line.position;
        if (width == 0) width = line.alleles.size();
        if (line.alleles.size() != width || width % 2 != 0) broken("allele strings of different or odd lengths");
        // Two letters at most, the missing allele aside; both occur, as the record is polymorphic.
        std::string letters;
        int called = 0;
        for (const char c : line.alleles) {
            if (c == '-') continue;
            if (c != 'A' && c != 'C' && c != 'G' && c != 'T') broken("a letter other than A, C, G, T, -");
            ++called;
            if (letters.find(c) == std::string::npos) letters.push_back(c);
        }
        if (letters.size() != 2) broken("a SNP without both alleles among the marker individuals");
        if (called != line.chromosomes) broken("the called alleles are miscounted");
        if (line.countPlusOne < 2 || line.countPlusOne > called) broken("an ALT count outside the called alleles");
    }

    // The ID file: a line for each SNP of the marker file, in its order: position, a name without
    // white space, and the two alleles.
    std::istringstream ids(folder->read("out.ids.txt"));
    std::size_t named = 0;
    for (std::string row; std::getline(ids, row); ++named) {
        std::istringstream fields(row);
        long position = 0;
        std::string id, ref, alt, tail;
        if (!(fields >> position >> id >> ref >> alt) || fields >> tail ||
            std::count(row.begin(), row.end(), '\t') != 3)
            broken("ids: a line of other than four tab-separated fields: " + row);
        if (named >= markers.size() || position != markers[named].position)
            broken("the ID file and the marker file differ in positions");
        if (id.empty() || id == "." || ref.size() != 1 || alt.size() != 1 || ref == alt)
            broken("ids: an ID line without a name or without two single-letter alleles: " + row);
    }
    if (named != markers.size()) broken("the ID file and the marker file differ in their SNPs");

    const bool snpsWritten = ::access(folder->file("out.snps.txt").c_str(), F_OK) == 0;
    if (snpsWritten != snpFile) broken("a SNP file where none was asked for, or none where one was");
    if (!snpFile) return;
    const std::vector<Line> snps = linesOf(folder->read("out.snps.txt"), "snps");
    if (snps.size() != markers.size()) broken("the SNP file and the marker file differ in their SNPs");
    for (std::size_t i = 0; i < snps.size(); ++i) {
        const Line& line = snps[i];
        if (line.position != markers[i].position) broken("the SNP file and the marker file differ in positions");
        if (line.chromosomes != 100 || line.alleles.size() != 100) broken("a SNP line of other than 100 alleles");
        if (line.alleles.find_first_not_of("01") != std::string::npos) broken("an allele other than 0 and 1");
        if (line.countPlusOne != 1 + std::count(line.alleles.begin(), line.alleles.end(), '1'))
            broken("the 1s of a SNP line are miscounted");
    }
    if (!knownFile) return;
    const std::string snpText = folder->read("out.snps.txt");
    std::istringstream known(folder->read("out.known.txt"));
    std::string row;
    std::size_t from = 0;
    while (std::getline(known, row)) {
        // The known lines are lines of the SNP file, in its order.
        const std::size_t at = snpText.find(row + "\n", from);
        if (at == std::string::npos || (at > 0 && snpText[at - 1] != '\n')) broken("a known line not in the SNP file");
        from = at + row.size() + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // htslib's own messages would flood the log; every failure it reports becomes an error.
    hts_set_log_level(HTS_LOG_OFF);
    static Folder scratch;
    folder = &scratch;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::uint8_t settings = data[0];
    vcf2markers::Options options;
    options.prefix = folder->file("out");
    options.progress = false;
    const bool snpFile = (settings & 1) == 0;
    if (!snpFile) options.haplotypes.kind = vcf2markers::SampleChoice::Kind::none;
    if (settings & 2) options.minMaf = 0.0;
    const bool knownFile = snpFile && (settings & 4) != 0;
    const bool sampleFile = (settings & 8) != 0;
    std::size_t begin = 1;
    if (knownFile || sampleFile) {
        const std::size_t sideSize = std::min<std::size_t>(data[1] * 256u + data[2], size - 3);
        const std::string side = folder->write("side", data + 3, sideSize);
        if (knownFile) options.knownFile = side;
        if (sampleFile) {
            options.markers.kind = vcf2markers::SampleChoice::Kind::file;
            options.markers.value = side;
            options.markers.option = 'S';
        }
        begin = 3 + sideSize;
    }
    options.input = folder->write("input", data + begin, size - begin);
    const std::vector<std::string> before = folder->names();

    try {
        const vcf2markers::Summary summary = vcf2markers::convert(options);
        const std::string line = vcf2markers::summaryLine(summary);
        if (line.rfind("vcf2markers: ", 0) != 0 || std::count(line.begin(), line.end(), '\n') != 1 ||
            line.back() != '\n')
            broken("a summary that is not one line: " + line);
        checkFiles(summary, snpFile, knownFile);
        // The outputs and nothing else are new.
        std::vector<std::string> expected = before;
        expected.push_back("out.markers.txt");
        expected.push_back("out.ids.txt");
        if (snpFile) expected.push_back("out.snps.txt");
        if (knownFile) expected.push_back("out.known.txt");
        std::sort(expected.begin(), expected.end());
        if (folder->names() != expected) broken("files other than the outputs were left");
    } catch (const ldtools::Error& error) {
        const std::string text = error.what();
        if (text.rfind("vcf2markers: ", 0) != 0 || std::count(text.begin(), text.end(), '\n') != 1 ||
            text.back() != '\n')
            broken("a refusal that is not one line: " + text);
        if (folder->names() != before) broken("a failed run left files behind: " + text);
    }
    for (const char* name : kOutputs) ::unlink(folder->file(name).c_str());
    return 0;
}
