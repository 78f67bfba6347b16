// The files the pipeline stores for other tools: the bounds compressed with their index, the BED
// of the blocks and the tag SNPs under their IDs. Every stored form of the bounds gives the same
// blocks, report and picture; region queries of the index equal a filter of the plain records.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const std::string chr20 = testsupport::sourcePath("examples/chr20/");

// The pipeline script and its helper beside links to the built programs, as installed.
class StoredForms : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(bin());
        fs::copy_file(testsupport::sourcePath("scripts/ldblocks"), bin() / "ldblocks");
        fs::copy_file(testsupport::sourcePath("scripts/ldnames"), bin() / "ldnames");
        const std::vector<std::pair<std::string, std::string>> programs = {
            {"linkstat", LINKSTAT_BIN}, {"ldtile", LDTILE_BIN},         {"haplotypes", HAPLOTYPES_BIN},
            {"vcf2markers", VCF2MARKERS_BIN}, {"ldplot", LDPLOT_BIN}, {"ldview", LDVIEW_BIN},
            {"packbounds", PACKBOUNDS_BIN},   {"sortblocks", SORTBLOCKS_BIN}};
        for (const auto& [name, path] : programs) fs::create_symlink(path, bin() / name);
    }

    fs::path bin() const { return dir_.path() / "bin"; }
    std::string out(const std::string& folder, const std::string& name = "") const {
        return (dir_.path() / folder / name).string();
    }
    testsupport::RunResult run(std::vector<std::string> args) const {
        return testsupport::run(args, {.input = "", .workdir = dir_.path().string(), .stdoutPath = ""});
    }
    testsupport::RunResult ldblocks(std::vector<std::string> args) const {
        args.insert(args.begin(), (bin() / "ldblocks").string());
        return run(args);
    }
    testsupport::RunResult shell(const std::string& command) const { return run({"/bin/sh", "-c", command}); }

    testsupport::ScratchDir dir_;
};

TEST_F(StoredForms, EveryFormOfTheBoundsGivesTheSameBlocksReportAndPicture) {
    // Text form without a chromosome: plain bounds.txt, no indexed, BED or ID files.
    ASSERT_EQ(ldblocks({"-o", out("text"), chr20 + "markers.txt", chr20 + "snps.txt"}).status, 0);
    for (const char* name : {"bounds.tsv.gz", "blocks.bed", "tags.ids.txt", "tags.list"})
        EXPECT_FALSE(fs::exists(out("text", name))) << name;
    // Text form with -c, and the VCF form: the indexed form only.
    auto named = ldblocks({"-c", "20", "-o", out("named"), chr20 + "markers.txt", chr20 + "snps.txt"});
    ASSERT_EQ(named.status, 0) << named.err;
    auto vcf = ldblocks({"-o", out("vcf"), chr20 + "chr20.vcf.gz"});
    ASSERT_EQ(vcf.status, 0) << vcf.err;
    for (const std::string folder : {"named", "vcf"}) {
        EXPECT_FALSE(fs::exists(out(folder, "bounds.txt"))) << folder;
        EXPECT_TRUE(fs::exists(out(folder, "bounds.tsv.gz.tbi"))) << folder;
        EXPECT_EQ(readFile(out(folder, "bounds.tsv.gz")).substr(0, 2), "\x1f\x8b") << folder;
        for (const char* name : {"report.txt", "tags.txt", "blocks.dat", "blocks.sorted.dat", "plot.dat", "ld.png"})
            EXPECT_EQ(readFile(out(folder, name)), readFile(out("text", name))) << folder << " " << name;
    }
    // The records are the same in every form: the indexed file without its header and chromosome,
    // and gzip of the text.
    ASSERT_EQ(shell("gzip -c text/bounds.txt > text/bounds.txt.gz").status, 0);
    const auto records = shell("gzip -dc vcf/bounds.tsv.gz | tail -n +2 | cut -f2- | sed 's/\\t/\\t\\t/2'");
    EXPECT_EQ(records.out, readFile(out("text", "bounds.txt")));
    EXPECT_EQ(shell("gzip -dc vcf/bounds.tsv.gz | head -n 1").out, "#chrom\tpos1\tpos2\tlower\tupper\n");
    // ldtile and ldplot read each form directly and print and draw the same.
    std::string firstOut;
    for (const std::string bounds : {"text/bounds.txt", "text/bounds.txt.gz", "vcf/bounds.tsv.gz"}) {
        fs::remove(out("", "plot.dat"));  // ldtile appends its line
        auto tile = run({LDTILE_BIN, "-d", bounds, "-f", "blocks.dat", "-o", "plot.dat"});
        ASSERT_EQ(tile.status, 0) << bounds << tile.err;
        // What ldtile prints, but for the echo line that names the bounds file.
        const std::size_t named = tile.out.find(bounds);
        ASSERT_NE(named, std::string::npos);
        tile.out.erase(named, bounds.size());
        if (firstOut.empty()) firstOut = tile.out;
        EXPECT_EQ(tile.out, firstOut) << bounds;
        EXPECT_EQ(readFile(out("", "blocks.dat")), readFile(out("text", "blocks.dat"))) << bounds;
        EXPECT_EQ(readFile(out("", "plot.dat")), readFile(out("text", "plot.dat"))) << bounds;
        const auto plot = run({LDPLOT_BIN, "-d", bounds, "-b", "text/blocks.dat", "-o", "ld.png"});
        ASSERT_EQ(plot.status, 0) << plot.err;
        EXPECT_EQ(readFile(out("", "ld.png")), readFile(out("text", "ld.png"))) << bounds;
    }
    // The view names the SNPs by their IDs in the VCF form; the text form has no IDs to give it.
    const auto view = run({LDVIEW_BIN, "-d", "vcf/bounds.tsv.gz", "-b", "vcf/blocks.dat", "-t", "vcf/tags.txt", "-i",
                           "vcf/ids.txt", "-o", "view"});
    ASSERT_EQ(view.status, 0) << view.err;
    for (const std::string name : {"data/meta.js", "data/ids.js", "data/p0.js"})
        EXPECT_EQ(readFile(out("vcf", "view/" + name)), readFile(out("view", name))) << name;
    EXPECT_TRUE(fs::exists(out("named", "view/data/meta.js")));
    EXPECT_FALSE(fs::exists(out("named", "view/data/ids.js")));
    // A second run removes the bounds of the other form.
    ASSERT_EQ(ldblocks({"-o", out("named"), chr20 + "markers.txt", chr20 + "snps.txt"}).status, 0);
    EXPECT_FALSE(fs::exists(out("named", "bounds.tsv.gz")));
    EXPECT_FALSE(fs::exists(out("named", "bounds.tsv.gz.tbi")));
    EXPECT_TRUE(fs::exists(out("named", "bounds.txt")));
}

TEST_F(StoredForms, TabixRegionsEqualAFilterOfThePlainRecords) {
    ASSERT_EQ(ldblocks({"-o", out("vcf"), "--no-plot", chr20 + "chr20.vcf.gz"}).status, 0);
    const auto plain = shell("gzip -dc vcf/bounds.tsv.gz | tail -n +2 > plain.tsv");
    ASSERT_EQ(plain.status, 0);
    // Regions inside, at the edges of, across and outside the SNPs' span; a single position.
    for (const std::string region : {"1000000-1200000", "1001135-1001135", "1001760-1002042", "1250000-1300000",
                                     "1500000-1600000", "1-1000000", "1100000-1100000"}) {
        const std::string from = region.substr(0, region.find('-'));
        const std::string to = region.substr(region.find('-') + 1);
        const auto indexed = shell("tabix vcf/bounds.tsv.gz 20:" + region);
        ASSERT_EQ(indexed.status, 0) << indexed.err;
        const auto filtered = shell("awk -F'\\t' '$2 <= " + to + " && $3 >= " + from + "' plain.tsv");
        EXPECT_EQ(indexed.out, filtered.out) << region;
    }
    EXPECT_NE(shell("tabix vcf/bounds.tsv.gz 20:1000000-1200000 | wc -l").out, "0\n");
}

// Three blocks of the example, checked by hand against ids.txt and blocks.sorted.dat.
TEST_F(StoredForms, BedAndTagListsOfTheExampleUnderTheirIds) {
    ASSERT_EQ(ldblocks({"-o", out("vcf"), "--no-plot", chr20 + "chr20.vcf.gz"}).status, 0);
    const std::string bed = readFile(out("vcf", "blocks.bed"));
    EXPECT_EQ(bed.substr(0, bed.find('\n', bed.find('\n', bed.find('\n') + 1) + 1) + 1),
              "20\t1002041\t1006744\trs2207321-rs28877074\t12\t.\n"
              "20\t1007629\t1010089\trs6039500-rs6039511\t11\t.\n"
              "20\t1011267\t1016978\trs13041030-rs6056778\t12\t.\n");
    EXPECT_EQ(shell("wc -l < vcf/blocks.bed").out, "54\n");
    EXPECT_EQ(shell("sort -c -k2,2n vcf/blocks.bed").status, 0);
    EXPECT_EQ(shell("head -n 4 vcf/tags.ids.txt").out,
              "SNP1\tSNP2\tN_HapC\tNeedSNP\thtSNPs\tMinSNP\tminimum_set\tK_NeedSNP\tK_htSNPs\n"
              "1002042\t1006744\t86\t2\trs2207321,rs2207322\t2\trs2207321,rs2207322\tNA\tNA\n"
              "1007630\t1010089\t86\t3\trs6039500,rs62187532,rs6140963\t3\trs6039500,rs62187532,rs6140963\tNA\tNA\n"
              "1011268\t1016978\t88\t4\trs13041030,rs11696364,rs4816153,rs974717\t4\t"
              "rs13041030,rs11696364,rs4816153,rs974717\tNA\tNA\n");
    EXPECT_EQ(shell("head -n 9 vcf/tags.list").out,
              "rs2207321\nrs2207322\nrs6039500\nrs62187532\nrs6140963\nrs13041030\nrs11696364\nrs4816153\nrs974717\n");
    // Every htSNP of tags.txt has its line in tags.list.
    EXPECT_EQ(shell("tail -n +2 vcf/tags.txt | cut -f5 | tr ',' '\\n' | grep -c .").out,
              shell("wc -l < vcf/tags.list").out);
}

// A SNP without an ID, an ID on two SNPs, a position the ID file lacks, lists not computed.
TEST_F(StoredForms, LdnamesNamesIdLessAndRepeatedIdsAndWritesAnEmptyBedWithoutBlocks) {
    fs::create_directories(out("small"));
    writeFile(out("small", "ids.txt"), "100\trs1\tA\tG\n200\t7:200:C:T\tC\tT\n300\trs1\tG\tA\n400\trs4\tT\tC\n");
    writeFile(out("small", "blocks.dat"), "SNP1\tindex\tSNP2\tindex\n300\t2\t500\t4\n100\t0\t200\t1\n");
    writeFile(out("small", "tags.txt"),
              "SNP1\tSNP2\tN_HapC\tNeedSNP\thtSNPs\tMinSNP\tminimum_set\tK_NeedSNP\tK_htSNPs\n"
              "100\t200\t3\t2\t100,200\t1\t200\t1\t-\n"
              "300\t500\t2\t2\t300,500\tNA\tNA\t1\t300\n");
    const auto named = run({(bin() / "ldnames").string(), "-c", "7", "-i", "small/ids.txt", "-b", "small/blocks.dat",
                            "-t", "small/tags.txt", "-o", "small"});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(readFile(out("small", "blocks.bed")), "7\t99\t200\trs1-7:200:C:T\t2\t.\n7\t299\t500\trs1-7:500\t3\t.\n");
    EXPECT_EQ(readFile(out("small", "tags.ids.txt")),
              "SNP1\tSNP2\tN_HapC\tNeedSNP\thtSNPs\tMinSNP\tminimum_set\tK_NeedSNP\tK_htSNPs\n"
              "100\t200\t3\t2\trs1,7:200:C:T\t1\t7:200:C:T\t1\t-\n"
              "300\t500\t2\t2\trs1,7:500\tNA\tNA\t1\trs1\n");
    // rs1 names two tag SNPs; the list names it once.
    EXPECT_EQ(readFile(out("small", "tags.list")), "rs1\n7:200:C:T\n7:500\n");
    // No block file: an empty BED.
    ASSERT_EQ(run({(bin() / "ldnames").string(), "-c", "7", "-t", "small/tags.txt", "-o", "small"}).status, 0);
    EXPECT_EQ(readFile(out("small", "blocks.bed")), "");
    EXPECT_EQ(readFile(out("small", "tags.list")), "7:100\n7:200\n7:300\n7:500\n");
    // A malformed ID file is refused and the files stay as they were.
    writeFile(out("small", "bad.txt"), "100\trs1\tA\n");
    const auto bad = run({(bin() / "ldnames").string(), "-c", "7", "-i", "small/bad.txt", "-t", "small/tags.txt",
                          "-o", "small"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("small/bad.txt: expected four fields"), std::string::npos) << bad.err;
    EXPECT_EQ(readFile(out("small", "tags.list")), "7:100\n7:200\n7:300\n7:500\n");
}

}  // namespace
