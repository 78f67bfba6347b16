#include "known.hpp"

#include <htslib/bgzf.h>
#include <htslib/hfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>

#include "error.hpp"
#include "htshandles.hpp"
#include "listlines.hpp"
#include "numbers.hpp"
#include "textscanner.hpp"
#include "vcfreader.hpp"

namespace vcf2markers {
namespace {

[[noreturn]] void fail(const std::string& message) {
    throw ldtools::Error("vcf2markers: " + message + "\n");
}

void readVcf(htsFile* file, const std::string& path, std::map<std::string, std::vector<std::int64_t>>& positions) {
    HtsPtr<bcf_hdr_t> header(bcf_hdr_read(file));
    if (!header) fail(path + " (-k): the VCF header cannot be read");
    // Only the positions matter: no genotype is decoded.
    if (bcf_hdr_set_samples(header.get(), nullptr, 0) != 0) fail(path + " (-k): cannot read the records");
    HtsPtr<bcf1_t> record(bcf_init());
    if (!record) throw std::bad_alloc();
    std::int64_t last = 0;
    int status;
    KString line;
    while ((status = readRecord(file, header.get(), record.get(), line.text)) == 0) {
        if ((record->errcode & ~kHarmlessRecordErrors) != 0) break;
        last = record->pos + 1;
        positions[bcf_hdr_id2name(header.get(), record->rid)].push_back(last);
    }
    if (status != -1 || record->errcode & ~kHarmlessRecordErrors) fail(path + " (-k)" + readFailure(last));
}

// Up to room bytes of the file's text (decompressed); 0 at its end.
std::size_t readText(htsFile* file, const std::string& where, char* into, std::size_t room) {
    const ssize_t got = file->is_bgzf ? bgzf_read(file->fp.bgzf, into, room) : hread(file->fp.hfile, into, room);
    if (got < 0) fail("cannot read " + where);
    return static_cast<std::size_t>(got);
}

// The positions of a list: each line's whole text (-k) or its first word (--positions, which
// reads a marker file). option names the file's option in the messages.
void readList(htsFile* file, const std::string& path, const std::string& option, bool firstWord,
              std::vector<std::int64_t>& positions) {
    const std::string where = path + " (" + option + ")";
    ldtools::StreamWindow window([&](char* into, std::size_t room) { return readText(file, where, into, room); });
    ldtools::TextScanner lines(window, kListRules);
    std::string_view line;
    ldtools::Token token;
    while ((token = lines.nextLine(line)) == ldtools::Token::line) {
        const long number = lines.line();
        // Blanks around the number are spaces, tabs and a carriage return; a blank line is skipped.
        std::string_view text = ldtools::trimmed(line, " \t\r");
        if (text.empty()) continue;
        if (firstWord) text = text.substr(0, text.find_first_of(" \t"));
        std::int32_t position = 0;
        if (ldtools::parseInt32(text, position) != ldtools::WholeNumber::ok || position < 1)
            fail(where + ", line " + std::to_string(number) + ": '" + ldtools::quotable(text) +
                 "' is not a position (a whole number from 1 to 2147483647)");
        positions.push_back(position);
    }
    if (token == ldtools::Token::lineTooLong) failLongLine(where, lines.line());
}

void sortUnique(std::vector<std::int64_t>& list) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
}

}  // namespace

KnownPositions KnownPositions::load(const std::string& path) {
    errno = 0;
    HtsPtr<htsFile> file(hts_open(path.c_str(), "r"));
    // htslib opens only the kinds of file it recognises, and fails with ENOEXEC for the others.
    if (!file && errno == ENOEXEC) fail(path + " (-k) is neither a VCF/BCF file nor a list of positions");
    if (!file) fail("cannot open the known-SNP file " + path + " (-k): " + ldtools::systemReason(errno));
    checkEndOfFile(file.get(), path + " (-k)");
    KnownPositions known;
    const htsFormat* format = hts_get_format(file.get());
    if (format->category == variant_data && (format->format == vcf || format->format == bcf)) {
        readVcf(file.get(), path, known.positions_);
    } else if (format->category == unknown_category || format->format == text_format) {
        known.anyChromosome_ = true;
        readList(file.get(), path, "-k", false, known.positions_[""]);
    } else {
        fail(path + " (-k) is neither a VCF/BCF file nor a list of positions");
    }
    for (auto& [chromosome, list] : known.positions_) sortUnique(list);
    return known;
}

std::vector<std::int64_t> loadPositionList(const std::string& path) {
    errno = 0;
    HtsPtr<htsFile> file(hts_open(path.c_str(), "r"));
    if (!file && errno == ENOEXEC) fail(path + " (--positions) is not a list of positions");
    if (!file) fail("cannot open the positions file " + path + " (--positions): " + ldtools::systemReason(errno));
    checkEndOfFile(file.get(), path + " (--positions)");
    // Any text is read as lines (htslib may take a marker file for another tab-separated format);
    // a line whose first word is no position is refused.
    std::vector<std::int64_t> positions;
    readList(file.get(), path, "--positions", true, positions);
    sortUnique(positions);
    return positions;
}

std::vector<std::int64_t> KnownPositions::on(const std::string& chromosome, std::int64_t first,
                                             std::int64_t last) const {
    const auto found = positions_.find(anyChromosome_ ? std::string() : chromosome);
    if (found == positions_.end()) return {};
    const std::vector<std::int64_t>& list = found->second;
    return {std::lower_bound(list.begin(), list.end(), first), std::upper_bound(list.begin(), list.end(), last)};
}

}  // namespace vcf2markers
