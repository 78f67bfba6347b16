// Any bytes as the three files of haplotypes: the SNP file, the block file and the known-SNP
// file, cut from the input at the bytes 0x01, after a first byte of settings (bit 0: use the
// known-SNP file; bit 1: write a tag file; bits 2-3: the work budget).
//
// The program runs in-process on them. It must either throw ldtools::Error with a message for
// standard error (and then leave no tag file), or write a complete report: the header, one
// row per block loaded, the closing line, and with a tag file one line per block whose htSNPs
// number NeedSNP and whose true minimum is never above it. Anything else (a crash, a
// sanitizer report, another exception, a broken report) aborts.

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "error.hpp"
#include "haplotypes.hpp"
#include "writer.hpp"

namespace {

[[noreturn]] void mismatch(const std::string& what) {
    std::fprintf(stderr, "fuzz_haplotypes: %s\n", what.c_str());
    std::abort();
}

// The folder holding this process's input files.
class Folder {
public:
    Folder() {
        char name[] = "/tmp/fuzz_haplotypes-XXXXXX";
        if (::mkdtemp(name) == nullptr) mismatch("cannot make a temporary folder");
        path_ = name;
    }
    ~Folder() {
        for (const char* file : {"snps", "blocks", "known", "tags"}) ::unlink(file_(file).c_str());
        ::rmdir(path_.c_str());
    }
    std::string file_(const char* name) const { return path_ + "/" + name; }
    // The files in the folder, hidden temporary ones included.
    int entries() const {
        int count = 0;
        if (DIR* dir = ::opendir(path_.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                std::string name = entry->d_name;
                count += name != "." && name != "..";
            }
            ::closedir(dir);
        }
        return count;
    }
    std::string hold(const char* name, const std::string& content) const {
        std::string path = file_(name);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(content.data(), 1, content.size(), out) != content.size() ||
            std::fclose(out) != 0)
            mismatch("cannot write " + path);
        return path;
    }

private:
    std::string path_;
};

std::string readall(const std::string& path) {
    std::string text;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return text;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, got);
    std::fclose(in);
    return text;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

int count(const std::string& list) {
    if (list == "-") return 0;
    int commas = 0;
    for (char c : list) commas += c == ',';
    return commas + 1;
}

void checktags(const std::string& tags, size_t blocks, bool known) {
    std::vector<std::string> lines = split(tags, '\n');
    if (lines.size() != blocks + 2 || !lines.back().empty()) mismatch("tag file has the wrong number of lines");
    if (lines[0] != "SNP1\tSNP2\tN_HapC\tNeedSNP\thtSNPs\tMinSNP\tminimum_set\tK_NeedSNP\tK_htSNPs")
        mismatch("tag file header");
    for (size_t b = 1; b <= blocks; ++b) {
        std::vector<std::string> f = split(lines[b], '\t');
        if (f.size() != 9) mismatch("tag line without nine fields: " + lines[b]);
        int needed = std::stoi(f[3]);
        if (count(f[4]) != needed) mismatch("htSNPs do not number NeedSNP: " + lines[b]);
        if (f[5] == "NA") {
            if (f[6] != "NA") mismatch("MinSNP NA without minimum_set NA: " + lines[b]);
        } else {
            int minimum = std::stoi(f[5]);
            if (count(f[6]) != minimum || minimum > needed) mismatch("minimum set: " + lines[b]);
        }
        if (known ? (f[7] == "NA" || count(f[8]) != std::stoi(f[7])) : (f[7] != "NA" || f[8] != "NA"))
            mismatch("known-SNP columns: " + lines[b]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Folder folder;
    static const int report = ::memfd_create("report", 0);
    if (report < 0) mismatch("cannot make the report file");
    if (size == 0) return 0;
    const uint8_t settings = data[0];
    const bool known = settings & 1, tags = settings & 2;
    const long long budgets[] = {1, 100, 10000, 100000};
    std::vector<std::string> parts = split(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), '\x01');
    parts.resize(3);

    const std::string snps = folder.hold("snps", parts[0]);
    const std::string blocks = folder.hold("blocks", parts[1]);
    const std::string knownsnps = folder.hold("known", parts[2]);
    const std::string tagfile = folder.file_("tags");
    ::unlink(tagfile.c_str());
    if (::ftruncate(report, 0) != 0 || ::lseek(report, 0, SEEK_SET) != 0) mismatch("cannot empty the report file");

    ldtools::BufferedWriter out(report);
    haplotypes::RunContext run(out);
    run.tables.Known = known ? 1 : 0;
    run.budget = budgets[(settings >> 2) & 3];
    int notes = 0;
    run.note = [&](const std::string& line) {
        if (line.rfind("haplotypes: block ", 0) != 0 || line.back() != '\n') mismatch("odd note: " + line);
        ++notes;
    };
    try {
        haplotypes::calcCoverage(run, snps, blocks, knownsnps, tags ? tagfile : "");
    } catch (const ldtools::Error& error) {
        const std::string text = error.what();
        if (text.rfind("haplotypes: ", 0) != 0 || text.back() != '\n') mismatch("odd message: " + text);
        if (folder.entries() != 3) mismatch("a failed run left a tag file");
        return 0;
    }

    // The report: the header, one row per block, the closing line.
    std::string text = readall("/proc/self/fd/" + std::to_string(report));
    std::vector<std::string> lines = split(text, '\n');
    const size_t blockcount = run.tables.blockarray.size();
    if (lines.size() != blockcount + 3 || !lines.back().empty()) mismatch("report has the wrong number of lines");
    if (lines[0].rfind("SNP1\tSNP2\tN_SNPS\t", 0) != 0) mismatch("report header");
    const size_t columns = known ? 15 : 9;
    for (size_t b = 1; b <= blockcount; ++b) {
        std::vector<std::string> fields = split(lines[b], '\t');
        if (fields.size() != columns + 1 || !fields.back().empty()) mismatch("row with the wrong columns: " + lines[b]);
        if (std::stoi(fields[0]) != run.tables.blockarray[b - 1][0]) mismatch("row of another block: " + lines[b]);
    }
    if (lines[blockcount + 1].rfind("notinblocks/known: ", 0) != 0) mismatch("closing line");
    if (tags) checktags(readall(tagfile), blockcount, known);
    if (folder.entries() != (tags ? 4 : 3)) mismatch("files left in the folder");
    return 0;
}
