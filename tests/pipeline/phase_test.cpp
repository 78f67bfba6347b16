// The pipeline on unphased input: the check of the haplotype individuals, phasing (with a stand-in
// phaser that restores the example's own phase, and once with shapeit4), the phased copy kept and
// used again, and the runs without a phaser.

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "pipelinefixture.hpp"
#include "process.hpp"
#include "scratch.hpp"

using testsupport::readFile;
using testsupport::sourcePath;

namespace {

const std::string kExample = sourcePath("examples/chr20/chr20.vcf.gz");
const std::string kStandIn = sourcePath("tests/pipeline/standinphaser.sh");

bool installed(const std::string& program) {
    return testsupport::run({"/bin/sh", "-c", "command -v \"$0\"", program}).status == 0;
}

// The example's VCF text up to (not including) position end, with every genotype unphased ("|"
// becomes "/") when unphase is set. Records ascend, so the first one at end or beyond ends it.
std::string exampleText(bool unphase, long end = 0) {
    const std::string text = testsupport::run({"/bin/sh", "-c", "gzip -dc \"$0\"", kExample}).out;
    std::string kept;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t next = text.find('\n', at) + 1;
        std::string line = text.substr(at, next - at);
        at = next;
        if (line[0] != '#') {
            const std::size_t tab = line.find('\t');
            if (end > 0 && std::stol(line.substr(tab + 1)) >= end) break;
            if (unphase)
                for (char& c : line)
                    if (c == '|') c = '/';
        }
        kept += line;
    }
    return kept;
}

std::string lastLine(const std::string& text) {
    const std::size_t start = text.rfind('\n', text.size() - 2);
    return start == std::string::npos ? text : text.substr(start + 1);
}

std::size_t lineCount(const std::string& path) {
    const std::string text = fs::exists(path) ? readFile(path) : "";
    std::size_t lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines;
}

// The block rows of a report: SNP1 SNP2 N_SNPS.
std::string blockRows(const std::string& report) {
    std::string rows;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, last, count;
        if (!line.empty() && line[0] >= '0' && line[0] <= '9' && words >> first >> last >> count)
            rows += first + " " + last + " " + count + "\n";
    }
    return rows;
}

class Phase : public Pipeline {
protected:
    void SetUp() override {
        Pipeline::SetUp();
        testsupport::writeFile(unphased(), exampleText(true));
    }
    std::string unphased() const { return scratch.file("unphased.vcf"); }
    std::string original(const std::string& name = "") const { return scratch.file("original/" + name); }
    std::string calls() const { return scratch.file("calls.txt"); }
    // The phaser stands in, and counts its calls.
    void standIn() { environment = {"SHAPEIT4=" + kStandIn, "STANDIN_PHASER_CALLS=" + calls()}; }
};

// The runs that phase need bcftools (and a phaser, or the stand-in): labelled slow.
using Phasing = Phase;

const std::string kNoHaplotypesLine =
    "ldblocks: 54 blocks; no report (--no-haplotypes): report.txt and tags.txt need phased genotypes\n";

TEST_F(Phase, UnphasedInputGivesTheBoundsAndBlocksOfThePhasedOriginal) {
    ASSERT_EQ(ldblocks({"-o", original(), kExample}).status, 0);
    const auto r = ldblocksWithPlot({"--no-haplotypes", "-o", out(), unphased()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lastLine(r.out), kNoHaplotypesLine);
    // linkstat's EM mode does not read the order within a genotype.
    for (const char* name : {"markers.txt", "bounds.tsv.gz", "ids.txt", "plot.dat", "blocks.dat", "blocks.sorted.dat", "blocks.bed"})
        EXPECT_EQ(readFile(out(name)), readFile(original(name))) << name;
    EXPECT_TRUE(fs::exists(out("ld.png")));
    EXPECT_TRUE(fs::exists(out("view/index.html")));
    for (const char* name : {"report.txt", "tags.txt", "tags.ids.txt", "tags.list", "snps.txt", "phased.vcf.gz", "phase.key",
                             "report.txt.partial"})
        EXPECT_FALSE(fs::exists(out(name))) << name;

    // The options that only the report uses are refused.
    for (const char* option : {"-H", "-F", "-k", "-e"}) {
        const auto refused = ldblocks({"--no-haplotypes", option, "3", "-o", scratch.file("refused"), unphased()});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err.rfind(std::string("ldblocks: --no-haplotypes writes no report; ") + option +
                                        " serves only the report\nUsage: ldblocks",
                                    0),
                  0u)
            << refused.err;
        EXPECT_FALSE(fs::exists(scratch.file("refused")));
    }
}

TEST_F(Phase, WithoutAPhaserUnphasedInputFailsAtOnceNamingBothRemedies) {
    const std::string remedies =
        "; install shapeit4 and bcftools (scripts/deps.sh phase) and run with --phase auto, or run with "
        "--no-haplotypes for the bounds, blocks and picture without report.txt and tags.txt\n";
    const std::string start = "ldblocks: the haplotype individuals have unphased genotypes (or missing alleles) and ";
    const struct {
        std::vector<std::string> environment;
        std::vector<std::string> options;
        std::string why;
    } cases[] = {
        {{}, {"--phase", "never"}, "--phase never was given"},
        {{"SHAPEIT4=/no/such/shapeit4"}, {}, "no phaser (/no/such/shapeit4) is installed"},
        {{"BCFTOOLS=/no/such/bcftools"}, {"--phase=auto"}, "bcftools (/no/such/bcftools) is not installed"},
    };
    for (const auto& c : cases) {
        environment = c.environment;
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-o", out(), unphased()});
        const auto r = ldblocks(args);
        EXPECT_EQ(r.status, 1) << c.why;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(lastLine(r.err), start + c.why + remedies);
        // Before any long step: no bounds, and no report.
        for (const char* name : {"bounds.tsv.gz", "report.txt", "snps.txt", "phased.vcf.gz"})
            EXPECT_FALSE(fs::exists(out(name))) << name;
    }
    // Phased input needs no phaser, unless it is to be phased in any case.
    environment = {"SHAPEIT4=/no/such/shapeit4"};
    const auto always = ldblocks({"--phase", "always", "-o", out(), kExample});
    EXPECT_EQ(always.status, 1);
    EXPECT_EQ(always.err, "ldblocks: --phase always needs shapeit4 and bcftools (scripts/deps.sh phase)\n");
    EXPECT_FALSE(fs::exists(out("markers.txt")));
    const auto phased = ldblocks({"--phase", "never", "-o", out(), kExample});
    EXPECT_EQ(phased.status, 0) << phased.err;
    EXPECT_EQ(readFile(out("report.txt")), readFile(sourcePath("tests/pipeline/golden/chr20-report.txt")));
}

TEST_F(Phasing, PhasedCopyGivesTheFullReportAndARerunUsesItAgain) {
    if (!installed("bcftools") || !installed("bgzip")) GTEST_SKIP() << "bcftools and bgzip are needed to phase";
    ASSERT_EQ(ldblocks({"-e", "3", "-o", original(), kExample}).status, 0);
    standIn();
    auto r = ldblocks({"-e", "3", "-o", out(), unphased()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("vcf2markers: haplotype individuals unphased\nldblocks: the haplotype individuals are "
                         "unphased: phasing 300 individuals at 3090 SNPs of 20 with shapeit4 on 1 thread(s); about "),
              std::string::npos)
        << r.err;
    // The stand-in restores the example's own phase: every file is the original's.
    for (const char* name : {"markers.txt", "snps.txt", "known.txt", "ids.txt", "bounds.tsv.gz", "report.txt", "tags.txt",
                             "tags.ids.txt", "tags.list", "blocks.bed"})
        EXPECT_EQ(readFile(out(name)), readFile(original(name))) << name;
    EXPECT_TRUE(fs::exists(out("phased.vcf.gz.csi")));
    const std::string key = readFile(out("phase.key"));
    EXPECT_NE(key.find("\nregion\t20\nindividuals\tall\nmap\tnone\n"), std::string::npos) << key;
    EXPECT_NE(key.find("\nseed\t15052011\nthreads\t1\n"), std::string::npos) << key;
    EXPECT_EQ(lineCount(calls()), 1u);

    // The same run again: the kept copy is used, the clean slate leaves it.
    r = ldblocks({"-e", "3", "-o", out(), unphased()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("was phased the same way (phase.key): used again"), std::string::npos) << r.err;
    EXPECT_EQ(lineCount(calls()), 1u);
    EXPECT_EQ(readFile(out("report.txt")), readFile(original("report.txt")));

    // Another number of threads is another key; so is a changed input.
    r = ldblocks({"-T", "2", "-e", "3", "-o", out(), unphased()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lineCount(calls()), 2u);
    EXPECT_NE(readFile(out("phase.key")).find("\nthreads\t2\n"), std::string::npos);
    fs::last_write_time(unphased(), fs::last_write_time(unphased()) + std::chrono::seconds(5));
    ASSERT_EQ(ldblocks({"-T", "2", "-e", "3", "-o", out(), unphased()}).status, 0);
    EXPECT_EQ(lineCount(calls()), 3u);

    // --phase always phases phased input too; never leaves the kept copy alone.
    r = ldblocks({"--phase", "always", "-o", scratch.file("always"), kExample});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lineCount(calls()), 4u);
    EXPECT_EQ(readFile(scratch.file("always/snps.txt")), readFile(sourcePath("examples/chr20/snps.txt")));
}

TEST_F(Phasing, RegionAndIndividualsOfABgzippedInputArePhasedInTheFilesOrder) {
    if (!installed("bcftools") || !installed("bgzip")) GTEST_SKIP() << "bcftools and bgzip are needed to phase";
    const std::string bgzipped = scratch.file("unphased.vcf.gz");
    ASSERT_EQ(testsupport::run({"/bin/sh", "-c", "bgzip -c \"$0\" > \"$1\" && bcftools index \"$1\"", unphased(), bgzipped})
                  .status,
              0);
    // Sixty marker individuals, listed backwards; the haplotype individuals are the first fifty of
    // them in the file's order.
    const std::string names = testsupport::run({"/bin/sh", "-c", "bcftools query -l \"$0\" | sed -n '101,160p' | tac | paste -sd,", kExample}).out;
    const std::string list = names.substr(0, names.size() - 1);
    const std::vector<std::string> options = {"-r", "20:1000000-1200000", "-s", list, "-e", "4"};
    std::vector<std::string> args = options;
    args.insert(args.end(), {"-o", original(), kExample});
    ASSERT_EQ(ldblocks(args).status, 0);
    standIn();
    args = options;
    args.insert(args.end(), {"-o", out(), bgzipped});
    const auto r = ldblocks(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("phasing 60 individuals at"), std::string::npos) << r.err;
    for (const char* name : {"markers.txt", "snps.txt", "known.txt", "report.txt", "tags.txt"})
        EXPECT_EQ(readFile(out(name)), readFile(original(name))) << name;
    EXPECT_NE(readFile(out("phase.key")).find("\nregion\t20:1000000-1200000\nindividuals\t60 "), std::string::npos);
}

TEST_F(Phasing, AFailingPhaserStopsTheRunWithItsMessage) {
    if (!installed("bcftools")) GTEST_SKIP() << "bcftools is needed to phase";
    standIn();
    environment.push_back("STANDIN_PHASER_FAIL=the genetic map covers no SNP");
    const auto r = ldblocks({"-o", out(), unphased()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("\nERROR: the genetic map covers no SNP\nldblocks: phasing (shapeit4) failed (exit status 1); "
                         "no report written\n"),
              std::string::npos)
        << r.err;
    for (const char* name : {"bounds.tsv.gz", "report.txt", "snps.txt", "phased.vcf.gz", "phase.key"})
        EXPECT_FALSE(fs::exists(out(name))) << name;
}

TEST_F(Phase, PhasedFilesAreNoInputsAndNewOptionsAreChecked) {
    fs::create_directory(out());
    testsupport::writeFile(out("phase.key"), "kept\n");
    const std::string replaced = " would be replaced by this run's ";
    for (const char* name : {"phased.vcf.gz", "phased.vcf.gz.csi", "phase.key"}) {
        const auto r = ldblocks({"-g", out(name), "-o", out(), unphased()});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ldblocks: -g " + out(name) + replaced + out(name) +
                             "; move it or choose another output folder\n");
    }
    EXPECT_EQ(readFile(out("phase.key")), "kept\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-T", "0", unphased()}, {"-T", "x", unphased()}, {"--phase", "maybe", unphased()},
          {"--phase"}, {"--phase", "never", "markers.txt", "snps.txt"},
          {"--no-haplotypes", "markers.txt", "snps.txt"}}) {
        const auto r = ldblocks(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("Usage: ldblocks"), std::string::npos) << r.err;
    }
}

// shapeit4 itself, on the first 100,000 positions of the example (about ten seconds).
TEST_F(Phasing, WithShapeit4TheReportHasTheOriginalsBlocks) {
    if (!installed("shapeit4") || !installed("bcftools")) GTEST_SKIP() << "shapeit4 and bcftools are not installed";
    testsupport::writeFile(unphased(), exampleText(true, 1100000));
    testsupport::writeFile(scratch.file("phased.vcf"), exampleText(false, 1100000));
    ASSERT_EQ(ldblocks({"-o", original(), scratch.file("phased.vcf")}).status, 0);
    auto r = ldblocks({"-T", "2", "-o", out(), unphased()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("ldblocks: phased in "), std::string::npos) << r.err;
    const std::string rows = blockRows(readFile(out("report.txt")));
    EXPECT_GT(rows.size(), 20u);
    EXPECT_EQ(rows, blockRows(readFile(original("report.txt"))));
    EXPECT_EQ(lineCount(out("tags.txt")), lineCount(original("tags.txt")));
    EXPECT_EQ(readFile(out("snps.txt")).size(), readFile(original("snps.txt")).size());
    EXPECT_NE(readFile(out("phase.key")).find("\nphaser\t"), std::string::npos);
    r = ldblocks({"-T", "2", "-o", out(), unphased()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("used again"), std::string::npos) << r.err;
}

}  // namespace
