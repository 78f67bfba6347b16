#include "sideinputs.hpp"

#include <algorithm>
#include <memory>

#include "blockformat.hpp"
#include "error.hpp"
#include "idformat.hpp"
#include "mapformat.hpp"
#include "numbers.hpp"
#include "textinput.hpp"
#include "textscanner.hpp"

namespace ldview {
namespace {

// The longest line of a file besides the bounds, so that a file without line breaks cannot fill
// memory.
constexpr std::size_t kMaxLine = std::size_t{1} << 20;

// A small text file, plain or gzip, with ldview's messages about it: "cannot open/read KIND NAME:
// REASON" and "NAME: line N: REASON". read(body) runs body(window) and words every error it throws.
class TextFile {
public:
    TextFile(const std::string& name, const char* kind) : name_(name), kind_(kind) {
        try {
            input_ = std::make_unique<ldtools::TextInput>(name);
        } catch (const ldtools::InputError& error) {
            throw ldtools::Error("ldview: cannot " + error.operation() + " " + kind_ + " " + name + ": " + error.what() +
                                 "\n");
        }
    }

    template <class Body>
    void read(Body body) {
        try {
            body(*input_);
        } catch (const ldtools::InputError& error) {
            throw ldtools::Error("ldview: cannot read " + kind_ + " " + name_ + ": " + error.what() + "\n");
        } catch (const ldtools::FormatError& error) {
            failAt(error.line(), error.what());
        }
    }

    [[noreturn]] void failAt(long line, const std::string& reason) const {
        throw ldtools::Error("ldview: " + name_ + ": line " + std::to_string(line) + ": " + reason + "\n");
    }

private:
    std::string name_;
    std::string kind_;
    std::unique_ptr<ldtools::TextInput> input_;
};

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
    file.read([&](ldtools::TextInput& input) {
        ldtools::IdFileReader reader(input, kMaxLine);
        ldtools::IdLine entry;
        for (ldtools::IdRead read; (read = reader.next(entry)) != ldtools::IdRead::end;) {
            if (read == ldtools::IdRead::malformed) file.failAt(reader.line(), std::string(ldtools::kIdLineReason));
            if (read == ldtools::IdRead::lineTooLong)
                file.failAt(reader.line(), "line longer than " + std::to_string(kMaxLine) + " bytes");
            const std::int32_t index = indexOf(snps, entry.position);
            if (index < 0) continue;
            if (named[index]) file.failAt(reader.line(), "position " + std::to_string(entry.position) + " is named twice");
            named[index] = true;
            ids[index] = ldtools::snpName(entry, chromosome);
        }
    });
    return ids;
}

std::vector<BlockSpan> readBlocks(const std::string& name, const std::vector<std::int32_t>& snps,
                                  const std::string& boundsName) {
    TextFile file(name, "block file");
    std::vector<BlockSpan> blocks;
    file.read([&](ldtools::TextInput& input) {
        ldtools::forEachBlockLine(input, kMaxLine, [&](const ldtools::BlockEnds& ends) {
            BlockSpan block{};
            for (int end = 0; end < 2; ++end) {
                const std::int32_t position = end == 0 ? ends.firstPosition : ends.lastPosition;
                const std::int32_t given = end == 0 ? ends.firstIndex : ends.lastIndex;
                const std::int32_t index = indexOf(snps, position);
                if (index < 0)
                    file.failAt(ends.line, "position " + std::to_string(position) + " is not a SNP of " + boundsName);
                if (index != given)
                    file.failAt(ends.line, "position " + std::to_string(position) + " is SNP " + std::to_string(index) +
                                               " of " + boundsName + ", not SNP " + std::to_string(given));
                (end == 0 ? block.first : block.last) = index;
            }
            blocks.push_back(block);
        });
    });
    std::sort(blocks.begin(), blocks.end(), [](const BlockSpan& x, const BlockSpan& y) {
        return x.first != y.first ? x.first < y.first : x.last < y.last;
    });
    return blocks;
}

std::vector<std::int32_t> readTags(const std::string& name, const std::vector<std::int32_t>& snps,
                                   const std::string& boundsName) {
    TextFile file(name, "tag file");
    std::vector<std::int32_t> tags;
    file.read([&](ldtools::TextInput& input) {
        ldtools::TextScanner scanner(input, ldtools::TextRules{.maxLine = kMaxLine});
        auto fail = [&](const std::string& reason) { file.failAt(scanner.line(), reason); };
        std::size_t columns = 0;
        std::size_t column = 0;
        std::string_view line;
        for (ldtools::Token token; (token = scanner.nextLine(line)) != ldtools::Token::end;) {
            if (token == ldtools::Token::lineTooLong) fail("line longer than " + std::to_string(kMaxLine) + " bytes");
            // A line break written as CR LF leaves its CR.
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            // The fields at every tab, empty ones kept.
            std::vector<std::string_view> fields;
            for (std::size_t start = 0;;) {
                const std::size_t tab = line.find('\t', start);
                fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
                if (tab == std::string_view::npos) break;
                start = tab + 1;
            }
            if (columns == 0) {
                const auto found = std::find(fields.begin(), fields.end(), "htSNPs");
                if (found == fields.end()) fail("expected a header line with the column htSNPs");
                columns = fields.size();
                column = static_cast<std::size_t>(found - fields.begin());
                continue;
            }
            if (line.empty()) continue;
            if (fields.size() != columns)
                fail("expected " + std::to_string(columns) + " tab-separated fields, as in the header line");
            const std::string_view list = fields[column];
            if (list == "-") continue;
            for (std::size_t start = 0;;) {
                const std::size_t comma = list.find(',', start);
                const std::string_view word =
                    list.substr(start, comma == std::string_view::npos ? comma : comma - start);
                std::int32_t position = 0;
                if (ldtools::parseInt32(word, position) != ldtools::WholeNumber::ok)
                    fail("htSNPs: expected positions separated by commas, not '" + ldtools::quotable(list) + "'");
                const std::int32_t index = indexOf(snps, position);
                if (index < 0) fail("tag SNP " + std::to_string(position) + " is not a SNP of " + boundsName);
                tags.push_back(index);
                if (comma == std::string_view::npos) break;
                start = comma + 1;
            }
        }
        if (columns == 0) file.failAt(1, "expected a header line with the column htSNPs");
    });
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    return tags;
}

std::vector<MapPoint> readMap(const std::string& name) {
    TextFile file(name, "genetic map");
    std::vector<MapPoint> points;
    file.read([&](ldtools::TextInput& input) {
        ldtools::forEachMapPoint(input, kMaxLine, [&](const MapPoint& point) { points.push_back(point); });
    });
    return points;
}

}  // namespace ldview
