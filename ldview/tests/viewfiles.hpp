#pragma once
// Reading back what ldview wrote, by the rules the page reads it with, and writing bounds files in
// each of their forms: the test side of the view's files.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ldviewtest {

struct Record {
    std::int32_t first;
    std::int32_t second;
    int lower;  // hundredths
    int upper;
    bool operator==(const Record&) const = default;
};

// Bounds text of the records: "first second lower upper" with three decimals, as linkstat -D
// writes them.
std::string boundsText(const std::vector<Record>& records);
// The same records in the indexed form's text: its header line and a chromosome field first.
std::string indexedText(const std::vector<Record>& records, const std::string& chromosome);
// Writes text as gzip (zlib) or BGZF (htslib).
void writeGzip(const std::string& path, const std::string& text);
void writeBgzf(const std::string& path, const std::string& text);

// Random records of `snps` SNPs spaced 40 to maxGap apart (with the default, some pairs lie 200,000
// or more apart, and a few of those have records), every bound a whole number of hundredths, a share
// `missing` of the pairs less than 200,000 apart without a record.
std::vector<Record> randomRecords(int snps, unsigned seed, double missing, int maxGap = 60000);

// The payload of a data script ldviewData("NAME", "BASE64") inflated; throws on anything else.
std::string dataBytes(const std::string& script);
// The text of key's value in the meta script's JSON (a number, a string with its quotes, an array
// or object with its brackets), found by the key's first appearance.
std::string metaField(const std::string& meta, const std::string& key);
std::vector<std::int64_t> numbers(const std::string& jsonArray);

// A view read back.
struct View {
    std::string meta;
    std::vector<std::int32_t> snps;
    std::vector<std::int32_t> tileStarts;
    std::vector<Record> records;  // every pair tile's records, in order
    int noRecords = 0;            // pairs less than 200,000 apart without one
    struct Level {
        std::int64_t width, rows;
        std::vector<std::uint8_t> classes;  // row by row
    };
    std::vector<Level> levels;
};

View readView(const std::string& folder);

// Every file of a folder, by its path inside it, with its bytes.
std::map<std::string, std::string> folderFiles(const std::string& folder);

}  // namespace ldviewtest
