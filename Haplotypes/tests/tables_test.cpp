// The SNP, block and known-SNP readers: what they load, and the message for each fault.

#include <gtest/gtest.h>

#include "error.hpp"
#include "scratch.hpp"
#include "snps.hpp"

namespace {

using testsupport::ScratchDir;
using testsupport::writeFile;

const std::string zeros(100, '0');
const std::string mixed = std::string(50, '0') + std::string(50, '1');

using Reader = int (*)(haplotypes::Tables&, const std::string&);

// The message a reader throws for a file holding `content`, or "" if it loads.
std::string faultof(Reader reader, const std::string& content, const std::string& name) {
    ScratchDir dir;
    writeFile(dir.file(name), content);
    haplotypes::Tables tables;
    try {
        reader(tables, dir.file(name));
    } catch (const ldtools::Error& failure) {
        std::string text = failure.what();
        size_t at = text.find(dir.file(name));
        return at == std::string::npos ? text : text.replace(at, dir.file(name).size(), name);
    }
    return "";
}

TEST(Tables, AlleleCodes) {
    for (auto [given, coded] : std::vector<std::pair<std::string, std::string>>{
             {"ACCA", "0110"}, {"1A1A", "1010"}, {"0A0A", "0101"}, {"GG-G", "00-0"}, {"T--T", "0--0"}, {"1001", "1001"}}) {
        EXPECT_TRUE(haplotypes::recodeAlleles(given));
        EXPECT_EQ(given, coded);
    }
    std::string three = "ACGA";
    EXPECT_FALSE(haplotypes::recodeAlleles(three));
}

TEST(Tables, SNPFileIsAStreamOfFourFieldRecords) {
    ScratchDir dir;
    // A record spread over lines, CRLF line ends, an allele string longer than 100 characters.
    writeFile(dir.file("snps"), "10 100 5 " + zeros + "\r\n20\n100\n5\n" + std::string(100, 'G') + "TT\n" +
                                    "30 x y " + std::string(50, 'T') + std::string(50, 'A') + "\n");
    haplotypes::Tables tables;
    ASSERT_EQ(haplotypes::readSNPfromfile(tables, dir.file("snps")), 3);
    EXPECT_EQ(tables.snparray, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(tables.allelearray, (std::vector<std::string>{zeros, zeros, mixed}));
    EXPECT_EQ(haplotypes::getSNPpos(tables, 2), 30);
    EXPECT_EQ(haplotypes::getindexfrompos(tables, 10), 0);
    EXPECT_EQ(haplotypes::getindexfrompos(tables, 15), -1);
    EXPECT_EQ(haplotypes::getindexfrompos(tables, 31), -1);

    writeFile(dir.file("known"), "20 1 1 " + mixed + "\n");
    ASSERT_EQ(haplotypes::readKnownSNPfromfile(tables, dir.file("known")), 1);
    EXPECT_EQ(haplotypes::getKnownPosition(tables, 0), 20);
    EXPECT_EQ(haplotypes::snpKnown(tables, 30), 1);  // no known-SNP file named: every SNP counts as known
    tables.Known = 1;
    EXPECT_EQ(haplotypes::snpKnown(tables, 20), 1);
    EXPECT_EQ(haplotypes::snpKnown(tables, 25), 0);
    EXPECT_EQ(haplotypes::snpKnown(tables, 40), 0);

    writeFile(dir.file("empty"), "\n \n");
    EXPECT_EQ(haplotypes::readSNPfromfile(tables, dir.file("empty")), 0);
    EXPECT_TRUE(tables.allelearray.empty());
}

TEST(Tables, FaultsInMarkerFiles) {
    auto snp = [](const std::string& content) { return faultof(haplotypes::readSNPfromfile, content, "s.txt"); };
    std::string head = "10 1 1 " + zeros + "\n";
    std::string prefix = "haplotypes: SNP file s.txt: record 2: ";
    EXPECT_EQ(snp(head + "20 1 1"), prefix + "incomplete record (fewer than four fields)\n");
    EXPECT_EQ(snp(head + "20.5 1 1 " + zeros), prefix + "position is not a whole number\n");
    EXPECT_EQ(snp(head + "3000000000 1 1 " + zeros), prefix + "position is out of range\n");
    EXPECT_EQ(snp(head + "10 1 1 " + zeros), prefix + "positions do not ascend strictly\n");
    EXPECT_EQ(snp(head + "20 1 1 " + std::string(99, '0')), prefix + "allele string has fewer than 100 characters\n");
    EXPECT_EQ(snp(head + "20 1 1 " + std::string(99, 'A') + "C" + "G"), "");  // beyond 100: not read
    EXPECT_EQ(snp(head + "20 1 1 " + std::string(98, 'A') + "CG"), prefix + "more than two alleles\n");
    EXPECT_EQ(snp("pos n k alleles\n" + head), "haplotypes: SNP file s.txt: record 1: position is not a whole number\n");
    EXPECT_EQ(faultof(haplotypes::readKnownSNPfromfile, head + "5 1 1 " + zeros, "k.txt"),
              "haplotypes: known-SNP file k.txt: record 2: positions do not ascend strictly\n");
}

TEST(Tables, FieldsHaveALengthLimit) {
    // A field may hold 1,048,576 characters; one more is an error, in every field of
    // every file (an endless word must not take all memory).
    const size_t limit = 1 << 20;
    std::string toolong = "haplotypes: SNP file s.txt: record 2: field longer than 1048576 characters\n";
    std::string head = "10 1 1 " + zeros + "\n";
    EXPECT_EQ(faultof(haplotypes::readSNPfromfile, head + "20 1 1 " + std::string(limit, '0'), "s.txt"), "");
    EXPECT_EQ(faultof(haplotypes::readSNPfromfile, head + "20 1 1 " + std::string(limit + 1, '0'), "s.txt"), toolong);
    EXPECT_EQ(faultof(haplotypes::readSNPfromfile, head + "20 " + std::string(limit + 1, 'x') + " 1 " + zeros, "s.txt"),
              toolong);
    EXPECT_EQ(faultof(haplotypes::readKnownSNPfromfile, std::string(limit + 1, '\0'), "k.txt"),
              "haplotypes: known-SNP file k.txt: record 1: field longer than 1048576 characters\n");
    std::string blocks = "SNP1 index SNP2 index\n10 0 20 1\n";
    EXPECT_EQ(faultof(haplotypes::readblocksfromfile, blocks + "30 " + std::string(limit + 1, '7') + " 40 3\n", "b"),
              "haplotypes: block file b: line 3: field longer than 1048576 characters\n");
    EXPECT_EQ(faultof(haplotypes::readblocksfromfile, std::string(limit + 1, 'S') + "\n10 0 20 1\n", "b"),
              "haplotypes: block file b: line 1: field longer than 1048576 characters\n");
    // Blank space is no field: a long run of it is as good as one blank.
    EXPECT_EQ(faultof(haplotypes::readblocksfromfile, blocks + std::string(limit + 1, ' ') + "\n30 2 40 3" +
                                                          std::string(limit + 1, '\t') + "\n", "b"), "");
}

TEST(Tables, BlockFile) {
    ScratchDir dir;
    haplotypes::Tables tables;
    writeFile(dir.file("b"), "\nSNP1\tindex\tSNP2\tindex\n10 0 30 2\n\n40 3 40 3\n");
    ASSERT_EQ(haplotypes::readblocksfromfile(tables, dir.file("b")), 2);
    EXPECT_EQ(tables.blockarray, (std::vector<std::array<int, 2>>{{10, 30}, {40, 40}}));
    writeFile(dir.file("b"), "10 0 30 2\n40 3 40 3\n");  // no header: no block lost
    EXPECT_EQ(haplotypes::readblocksfromfile(tables, dir.file("b")), 2);
    writeFile(dir.file("b"), "SNP1 index SNP2 index\n");
    EXPECT_EQ(haplotypes::readblocksfromfile(tables, dir.file("b")), 0);

    auto block = [](const std::string& lines) { return faultof(haplotypes::readblocksfromfile, "h\n10 0 20 1\n" + lines, "b"); };
    std::string prefix = "haplotypes: block file b: line 3: ";
    EXPECT_EQ(block("30 2 40\n"), prefix + "expected four fields (first position, index, last position, index)\n");
    EXPECT_EQ(block("30 2 40 3 x\n"), prefix + "expected four fields (first position, index, last position, index)\n");
    EXPECT_EQ(block("3e1 2 40 3\n"), prefix + "first position is not a whole number\n");
    EXPECT_EQ(block("30 2 4000000000 3\n"), prefix + "last position is out of range\n");
    EXPECT_EQ(block("50 2 40 3\n"), prefix + "first position is greater than last position\n");
    std::string order = prefix + "blocks out of order or overlapping (the lines after the header must be sorted by their first column)\n";
    EXPECT_EQ(block("20 2 40 3\n"), order);
    EXPECT_EQ(block("1 2 5 3\n"), order);

    writeFile(dir.file("s"), "10 1 1 " + zeros + "\n20 1 1 " + zeros + "\n");
    haplotypes::readSNPfromfile(tables, dir.file("s"));
    writeFile(dir.file("b"), "SNP1\n10 0 10 1\n\n20 1 25 2\n");
    haplotypes::readblocksfromfile(tables, dir.file("b"));
    try {
        haplotypes::checkBlockPositions(tables, "b");
        ADD_FAILURE() << "no failure";
    } catch (const ldtools::Error& failure) {
        EXPECT_STREQ(failure.what(), "haplotypes: block file b: line 4: position 25 is not in the SNP file\n");
    }
    writeFile(dir.file("b"), "SNP1\n10 0 10 1\n\n20 1 20 2\n");
    haplotypes::readblocksfromfile(tables, dir.file("b"));
    EXPECT_NO_THROW(haplotypes::checkBlockPositions(tables, "b"));
}

TEST(Tables, FilesThatCannotBeOpened) {
    ScratchDir dir;
    haplotypes::Tables tables;
    try {
        haplotypes::readblocksfromfile(tables, dir.file("missing"));
        ADD_FAILURE() << "no failure";
    } catch (const ldtools::Error& failure) {
        EXPECT_EQ(failure.what(), "haplotypes: cannot open block file " + dir.file("missing") + ": No such file or directory\n");
    }
    try {
        haplotypes::readKnownSNPfromfile(tables, dir.path().string());
        ADD_FAILURE() << "no failure";
    } catch (const ldtools::Error& failure) {
        EXPECT_EQ(failure.what(), "haplotypes: cannot open known-SNP file " + dir.path().string() + ": Is a directory\n");
    }
}

}  // namespace
