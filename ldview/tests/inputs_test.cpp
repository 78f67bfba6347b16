// The files a view reads besides the bounds (IDs, blocks, tag SNPs, genetic map), their messages,
// and the bounds reader's own rules: lines and records of every form, gzip read whole.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "boundsinput.hpp"
#include "error.hpp"
#include "scratch.hpp"
#include "sideinputs.hpp"
#include "viewfiles.hpp"

namespace {

using testsupport::ScratchDir;
using testsupport::writeFile;

const std::vector<std::int32_t> kSnps = {100, 200, 300, 400, 500};

template <class Read>
std::string messageOf(Read read) {
    try {
        read();
    } catch (const ldtools::Error& error) {
        return error.what();
    }
    return "";
}

class ViewInputs : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string file = dir.file("input.txt");
    std::string line(int n, const std::string& reason) { return "ldview: " + file + ": line " + std::to_string(n) + ": " + reason + "\n"; }
};

TEST_F(ViewInputs, IdFile) {
    writeFile(file, "pos id ref alt\n100 rs1 A G\n300 . C T\n\n450 rs9 A C\n500 rs5 G A\n");
    EXPECT_EQ(ldview::readIds(file, kSnps, "20"), (std::vector<std::string>{"rs1", "", "20:300:C:T", "", "rs5"}));
    // Without a header, gzip-compressed.
    ldviewtest::writeGzip(dir.file("ids.gz"), "200 rs2 A G\n");
    EXPECT_EQ(ldview::readIds(dir.file("ids.gz"), kSnps, "20"), (std::vector<std::string>{"", "rs2", "", "", ""}));

    writeFile(file, "100 rs1 A G\n100 rs1b A G\n");
    EXPECT_EQ(messageOf([&] { ldview::readIds(file, kSnps, "20"); }), line(2, "position 100 is named twice"));
    writeFile(file, "100 rs1 A\n");
    EXPECT_EQ(messageOf([&] { ldview::readIds(file, kSnps, "20"); }),
              line(1, "expected four fields: position, ID, reference allele, alternate allele"));
    EXPECT_EQ(messageOf([&] { ldview::readIds(dir.file("none"), kSnps, "20"); }),
              "ldview: cannot open ID file " + dir.file("none") + ": No such file or directory\n");
}

TEST_F(ViewInputs, BlockFile) {
    writeFile(file, "SNP1\tindex\tSNP2\tindex\n300\t2\t500\t4\n100\t0\t200\t1\n");
    const std::vector<ldview::BlockSpan> blocks = ldview::readBlocks(file, kSnps, "b.txt");
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].first, 0);
    EXPECT_EQ(blocks[0].last, 1);
    EXPECT_EQ(blocks[1].first, 2);
    EXPECT_EQ(blocks[1].last, 4);

    const std::pair<std::string, std::string> cases[] = {
        {"", line(1, "expected the header line SNP1 index SNP2 index")},
        {"SNP1 index SNP2\n", line(1, "expected the header line SNP1 index SNP2 index")},
        {"SNP1 index SNP2 index\n100 0 200\n", line(2, "expected four whole numbers: first position, index, last position, index")},
        {"SNP1 index SNP2 index\n200 1 100 0\n", line(2, "the last position of a block must lie above its first")},
        {"SNP1 index SNP2 index\n150 0 200 1\n", line(2, "position 150 is not a SNP of b.txt")},
        {"SNP1 index SNP2 index\n100 0 300 3\n", line(2, "position 300 is SNP 2 of b.txt, not SNP 3")},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(file, text);
        EXPECT_EQ(messageOf([&] { ldview::readBlocks(file, kSnps, "b.txt"); }), expected) << text;
    }
}

TEST_F(ViewInputs, TagFile) {
    writeFile(file,
              "SNP1\tSNP2\tN_HapC\tNeedSNP\thtSNPs\tMinSNP\tminimum_set\tK_NeedSNP\tK_htSNPs\n"
              "100\t300\t80\t2\t300,100\t2\t100,300\t1\t200\n"
              "400\t500\t90\t0\t-\t0\t-\t0\t-\r\n"
              "\n"
              "400\t500\t90\t1\t500\t1\t500\t0\t-\n");
    EXPECT_EQ(ldview::readTags(file, kSnps, "b.txt"), (std::vector<std::int32_t>{0, 2, 4}));

    const std::string header = "SNP1\tSNP2\thtSNPs\n";
    const std::pair<std::string, std::string> cases[] = {
        {"SNP1\tSNP2\n", line(1, "expected a header line with the column htSNPs")},
        {"", line(1, "expected a header line with the column htSNPs")},
        {header + "100\t300\n", line(2, "expected 3 tab-separated fields, as in the header line")},
        {header + "100\t300\t100,,300\n", line(2, "htSNPs: expected positions separated by commas, not '100,,300'")},
        {header + "100\t300\t100,250\n", line(2, "tag SNP 250 is not a SNP of b.txt")},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(file, text);
        EXPECT_EQ(messageOf([&] { ldview::readTags(file, kSnps, "b.txt"); }), expected) << text;
    }
}

TEST_F(ViewInputs, GeneticMap) {
    ldviewtest::writeGzip(file, "pos chr cM\n100 20 0.5\n200 20 0.5\n900 20 1.25\n");
    const std::vector<ldview::MapPoint> points = ldview::readMap(file);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[2].position, 900);
    EXPECT_EQ(points[2].cm, 1.25);

    const std::pair<std::string, std::string> cases[] = {
        {"100 20 0.5\n", line(1, "expected the header line pos chr cM")},
        {"pos chr cM\n100 20\n", line(2, "expected three columns: position, chromosome, cM")},
        {"pos chr cM\n100 20 0.5\n100 20 0.6\n", line(3, "position 100 does not lie above 100, the position before it")},
        {"pos chr cM\n100 20 0.5\n200 20 0.4\n", line(3, "the genetic position (cM) decreases")},
        {"pos chr cM\n100 20 0.5\n200 21 0.6\n", line(3, "chromosome 21 after 20: the map must hold one chromosome")},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(file, text);
        EXPECT_EQ(messageOf([&] { ldview::readMap(file); }), expected) << text;
    }
}

TEST_F(ViewInputs, LinesAreLimitedAndCompressedDataChecked) {
    writeFile(file, "SNP1 index SNP2 index\n" + std::string((std::size_t{1} << 20) + 10, '1') + "\n");
    EXPECT_EQ(messageOf([&] { ldview::readBlocks(file, kSnps, "b.txt"); }), line(2, "line longer than 1048576 bytes"));

    // A gzip file cut short is a read error, not a short file.
    ldviewtest::writeGzip(file, ldviewtest::boundsText(ldviewtest::randomRecords(400, 2, 0)));
    std::string bytes = testsupport::readFile(file);
    writeFile(file, bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(messageOf([&] {
                  ldview::BoundsInput input(file);
                  ldview::PairRecord record;
                  while (input.next(record)) {
                  }
              }),
              "ldview: cannot read bounds file " + file + ": damaged or truncated compressed data\n");
}

TEST_F(ViewInputs, BoundsRecordsOfEachForm) {
    auto readAll = [&](const std::string& name) {
        ldview::BoundsInput input(name);
        std::vector<ldviewtest::Record> records;
        ldview::PairRecord r;
        while (input.next(r)) records.push_back({r.first, r.second, r.lower, r.upper});
        return records;
    };
    // Records across lines and with odd spacing read as words; a header without the gzip form is a
    // plain file's first line all the same.
    writeFile(file, "  1 5\n0.5 0.6\n\n1\t9 0.5  0.7\r\n-4 0 0 0\n");
    EXPECT_EQ(messageOf([&] { readAll(file); }), line(5, "records are not in order of position"));
    writeFile(file, "  1 5\n0.5 0.6\n\n1\t9 0.5  0.7\r\n");
    EXPECT_EQ(readAll(file), (std::vector<ldviewtest::Record>{{1, 5, 50, 60}, {1, 9, 50, 70}}));

    ldviewtest::writeBgzf(file, "#chrom\tpos1\tpos2\tlower\tupper\n7\t1\t5\t0.5\t0.6\n7\t1\t9\t0.5\n");
    EXPECT_EQ(messageOf([&] { readAll(file); }),
              line(3, "expected five fields: chromosome, first position, second position, lower bound, upper bound"));
    // Compressed bounds through a pipe.
    const std::string fifo = dir.file("bounds.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ldviewtest::writeGzip(dir.file("z.gz"), "1 5 0.5 0.6\n");
    std::thread writer([&] { writeFile(fifo, testsupport::readFile(dir.file("z.gz"))); });
    const std::string message = messageOf([&] { readAll(fifo); });
    writer.join();
    EXPECT_EQ(message, "ldview: cannot read bounds file " + fifo +
                           ": gzip-compressed data are read from a regular file only, not from a pipe\n");

    ldviewtest::writeBgzf(file, "#chrom\tpos1\tpos2\tlower\tupper\n");
    ldview::BoundsInput empty(file);
    ldview::PairRecord r;
    EXPECT_FALSE(empty.next(r));
    EXPECT_TRUE(empty.indexed());
    EXPECT_EQ(empty.chromosome(), "");
}

}  // namespace
