#include "sideinputs.hpp"

#include <algorithm>

#include "boundsformat.hpp"
#include "numbers.hpp"
#include "error.hpp"
#include "numbers.hpp"
#include "source.hpp"

namespace ldview {
namespace {

// A small text file read line by line, with ldview's messages about it: "cannot open/read KIND
// NAME: REASON" and "NAME: line N: REASON".
class TextFile {
public:
    TextFile(const std::string& name, const char* kind) : name_(name), kind_(kind) {
        try {
            lines_ = std::make_unique<LineSource>(openSource(name));
        } catch (const SourceError& error) {
            throw ldtools::Error("ldview: cannot open " + kind_ + " " + name + ": " + error.what() + "\n");
        }
    }

    bool next(std::string_view& line) {
        bool got = false;
        try {
            got = lines_->next(line);
        } catch (const SourceError& error) {
            throw ldtools::Error("ldview: cannot read " + kind_ + " " + name_ + ": " + error.what() + "\n");
        }
        if (!got && lines_->tooLong())
            fail("line longer than " + std::to_string(LineSource::maxLength) + " bytes");
        // A line break written as CR LF leaves its CR.
        if (got && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        return got;
    }
    long number() const { return lines_->number(); }

    [[noreturn]] void fail(const std::string& reason) const { failAt(lines_->number(), reason); }
    [[noreturn]] void failAt(long line, const std::string& reason) const {
        throw ldtools::Error("ldview: " + name_ + ": line " + std::to_string(line) + ": " + reason + "\n");
    }

private:
    std::string name_;
    std::string kind_;
    std::unique_ptr<LineSource> lines_;
};

bool wholeNumber(std::string_view word, std::int32_t& value) {
    return ldtools::parseInt32(word, value) == ldtools::WholeNumber::ok;
}

// Index of position among snps, or -1.
std::int32_t indexOf(const std::vector<std::int32_t>& snps, std::int32_t position) {
    const auto found = std::lower_bound(snps.begin(), snps.end(), position);
    if (found == snps.end() || *found != position) return -1;
    return static_cast<std::int32_t>(found - snps.begin());
}

}  // namespace

std::vector<std::string> readIds(const std::string& name, const std::vector<std::int32_t>& snps,
                                 const std::string& chromosome) {
    TextFile file(name, "ID file");
    std::vector<std::string> ids(snps.size());
    std::vector<bool> named(snps.size(), false);
    std::string_view line;
    while (file.next(line)) {
        const std::vector<std::string_view> words = splitWords(line);
        if (words.empty()) continue;
        if (file.number() == 1 && (words[0] == "pos" || words[0] == "#pos")) continue;
        std::int32_t position = 0;
        if (words.size() != 4 || !wholeNumber(words[0], position))
            file.fail("expected four fields: position, ID, reference allele, alternate allele");
        const std::int32_t index = indexOf(snps, position);
        if (index < 0) continue;
        if (named[index]) file.fail("position " + std::to_string(position) + " is named twice");
        named[index] = true;
        if (words[1] == ".")
            ids[index] = chromosome + ":" + std::string(words[0]) + ":" + std::string(words[2]) + ":" +
                         std::string(words[3]);
        else
            ids[index] = words[1];
    }
    return ids;
}

std::vector<BlockSpan> readBlocks(const std::string& name, const std::vector<std::int32_t>& snps,
                                  const std::string& boundsName) {
    TextFile file(name, "block file");
    std::vector<BlockSpan> blocks;
    std::string_view line;
    bool header = true;
    while (file.next(line)) {
        const std::vector<std::string_view> words = splitWords(line);
        if (header) {
            header = false;
            if (words != std::vector<std::string_view>{"SNP1", "index", "SNP2", "index"})
                file.fail("expected the header line SNP1 index SNP2 index");
            continue;
        }
        if (words.empty()) continue;
        std::int32_t numbers[4] = {};
        bool ok = words.size() == 4;
        for (std::size_t k = 0; ok && k < 4; ++k) ok = wholeNumber(words[k], numbers[k]);
        if (!ok) file.fail("expected four whole numbers: first position, index, last position, index");
        if (numbers[2] <= numbers[0]) file.fail("the last position of a block must lie above its first");
        BlockSpan block{};
        for (int end = 0; end < 2; ++end) {
            const std::int32_t position = numbers[2 * end];
            const std::int32_t index = indexOf(snps, position);
            if (index < 0) file.fail("position " + std::to_string(position) + " is not a SNP of " + boundsName);
            if (index != numbers[2 * end + 1])
                file.fail("position " + std::to_string(position) + " is SNP " + std::to_string(index) + " of " +
                          boundsName + ", not SNP " + std::to_string(numbers[2 * end + 1]));
            (end == 0 ? block.first : block.last) = index;
        }
        blocks.push_back(block);
    }
    if (header) file.failAt(1, "expected the header line SNP1 index SNP2 index");
    std::sort(blocks.begin(), blocks.end(), [](const BlockSpan& x, const BlockSpan& y) {
        return x.first != y.first ? x.first < y.first : x.last < y.last;
    });
    return blocks;
}

std::vector<std::int32_t> readTags(const std::string& name, const std::vector<std::int32_t>& snps,
                                   const std::string& boundsName) {
    TextFile file(name, "tag file");
    std::vector<std::int32_t> tags;
    std::string_view line;
    std::size_t columns = 0;
    std::size_t column = 0;
    while (file.next(line)) {
        const std::vector<std::string_view> fields = splitTabs(line);
        if (columns == 0) {
            const auto found = std::find(fields.begin(), fields.end(), "htSNPs");
            if (found == fields.end()) file.fail("expected a header line with the column htSNPs");
            columns = fields.size();
            column = static_cast<std::size_t>(found - fields.begin());
            continue;
        }
        if (line.empty()) continue;
        if (fields.size() != columns)
            file.fail("expected " + std::to_string(columns) + " tab-separated fields, as in the header line");
        const std::string_view list = fields[column];
        if (list == "-") continue;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = list.find(',', start);
            const std::string_view word = list.substr(start, comma == std::string_view::npos ? comma : comma - start);
            std::int32_t position = 0;
            if (!wholeNumber(word, position))
                file.fail("htSNPs: expected positions separated by commas, not '" + ldtools::quotable(list) + "'");
            const std::int32_t index = indexOf(snps, position);
            if (index < 0) file.fail("tag SNP " + std::to_string(position) + " is not a SNP of " + boundsName);
            tags.push_back(index);
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
    }
    if (columns == 0) file.failAt(1, "expected a header line with the column htSNPs");
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    return tags;
}

std::vector<MapPoint> readMap(const std::string& name) {
    TextFile file(name, "genetic map");
    std::vector<MapPoint> points;
    std::string chromosome;
    std::string_view line;
    bool header = true;
    while (file.next(line)) {
        const std::vector<std::string_view> words = splitWords(line);
        std::int32_t position = 0;
        if (header) {
            header = false;
            if (words.size() != 3 || wholeNumber(words[0], position)) file.fail("expected the header line pos chr cM");
            continue;
        }
        if (words.empty()) continue;
        double cm = 0;
        if (words.size() != 3 || !wholeNumber(words[0], position) || !ldtools::parseDecimal(words[2], cm))
            file.fail("expected three columns: position, chromosome, cM");
        if (points.empty()) {
            chromosome = words[1];
        } else {
            if (words[1] != chromosome)
                file.fail("chromosome " + ldtools::quotable(words[1]) + " after " + ldtools::quotable(chromosome) +
                          ": the map must hold one chromosome");
            if (position <= points.back().position)
                file.fail("position " + std::to_string(position) + " does not lie above " +
                          std::to_string(points.back().position) + ", the position before it");
            if (cm < points.back().cm) file.fail("the genetic position (cM) decreases");
        }
        points.push_back({position, cm});
    }
    if (header) file.failAt(1, "expected the header line pos chr cM");
    return points;
}

}  // namespace ldview
