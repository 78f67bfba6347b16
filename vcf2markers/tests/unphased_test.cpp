// vcf2markers on haplotype individuals that need phasing (--unphased) and SNP files limited to the
// positions of another file (--positions), as the pipeline uses them around its phaser.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"
#include "vcffiles.hpp"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

const std::string kExampleFolder = testsupport::sourcePath("examples/chr20/");
const std::string kUnphasedLine = "vcf2markers: haplotype individuals unphased\n";

testsupport::RunResult convert(const testsupport::ScratchDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), VCF2MARKERS_BIN);
    return testsupport::run(args, {.input = "", .workdir = dir.path().string(), .stdoutPath = ""});
}

bool exists(const testsupport::ScratchDir& dir, const std::string& name) {
    return std::filesystem::exists(dir.file(name));
}

std::string lastLine(const std::string& text) {
    const std::size_t start = text.rfind('\n', text.size() - 2);
    return start == std::string::npos ? text : text.substr(start + 1);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at) + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// The example with every phased genotype written unphased ("|" becomes "/").
std::string unphasedExample() {
    std::string text = testsupport::run({"/bin/sh", "-c", "gzip -dc \"$0\"", kExampleFolder + "chr20.vcf.gz"}).out;
    bool inHeader = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 0 || text[i - 1] == '\n') inHeader = text[i] == '#';
        if (!inHeader && text[i] == '|') text[i] = '/';
    }
    return text;
}

// Sixty individuals; the first fifty are the haplotype individuals by default.
const std::vector<std::string> kSixty = vcftest::names("s", 60);

std::string sixtyRow(long position, const std::function<std::string(int)>& genotype) {
    std::vector<std::string> genotypes;
    for (int i = 0; i < 60; ++i) genotypes.push_back(genotype(i));
    return vcftest::row("20", position, "A", "G", genotypes);
}

TEST(Vcf2markersUnphased, ReportGivesTheMarkerFileOnlyAndStatusThree) {
    testsupport::ScratchDir dir;
    writeFile(dir.file("unphased.vcf"), unphasedExample());
    const std::string note =
        "vcf2markers: unphased.vcf: position 1001135: haplotype individual HG00114 has an unphased heterozygous "
        "genotype (1/0); the SNP file needs phased genotypes\n";

    // The default stops at the first unphased heterozygous genotype, as --unphased stop does.
    for (const std::vector<std::string>& mode : {std::vector<std::string>{}, {"--unphased", "stop"}}) {
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"-e", "3", "-o", "X", "unphased.vcf"});
        const auto stopped = convert(dir, args);
        EXPECT_EQ(stopped.status, 1);
        EXPECT_EQ(stopped.err, note);
        EXPECT_FALSE(exists(dir, "X.markers.txt"));
    }

    // Files of an earlier run under the prefix must not pass for this run's.
    writeFile(dir.file("X.snps.txt"), "stale\n");
    writeFile(dir.file("X.known.txt"), "stale\n");
    const auto reported = convert(dir, {"--unphased=report", "-e", "3", "-o", "X", "unphased.vcf"});
    EXPECT_EQ(reported.status, 3);
    EXPECT_EQ(reported.err,
              "vcf2markers: 964 SNPs written; skipped 1481 below MAF, 645 monomorphic, 154 indels or other alleles\n" +
                  note + kUnphasedLine);
    EXPECT_EQ(readFile(dir.file("X.markers.txt")), readFile(kExampleFolder + "markers.txt"));
    EXPECT_FALSE(exists(dir, "X.snps.txt"));
    EXPECT_FALSE(exists(dir, "X.known.txt"));

    // Phased haplotype individuals: report changes nothing.
    const auto phased = convert(dir, {"--unphased", "report", "-e", "3", "-o", "P", kExampleFolder + "chr20.vcf.gz"});
    EXPECT_EQ(phased.status, 0) << phased.err;
    for (const char* file : {"markers", "snps", "known"})
        EXPECT_EQ(readFile(dir.file(std::string("P.") + file + ".txt")), readFile(kExampleFolder + file + ".txt"))
            << file;
}

TEST(Vcf2markersUnphased, MissingAllelesNeedThePhaserOnlyAmongHaplotypeIndividuals) {
    testsupport::ScratchDir dir;
    // Individual 55 is no haplotype individual: its unphased genotype is read as any marker's.
    writeFile(dir.file("marker.vcf"),
              vcftest::header(kSixty) + sixtyRow(100, [](int i) { return i == 55 ? "0/1" : i % 2 ? "1|0" : "0|0"; }));
    auto result = convert(dir, {"--unphased", "report", "-o", "M", "marker.vcf"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(exists(dir, "M.snps.txt"));

    // A missing allele of a haplotype individual stops or is reported like an unphased genotype.
    writeFile(dir.file("missing.vcf"), vcftest::header(kSixty) +
                                          sixtyRow(100, [](int i) { return i % 2 ? "1|0" : "0|0"; }) +
                                          sixtyRow(200, [](int i) { return i == 7 ? ".|1" : i % 3 ? "1|1" : "0|0"; }));
    result = convert(dir, {"-o", "S", "missing.vcf"});
    EXPECT_EQ(result.status, 1);
    result = convert(dir, {"--unphased", "report", "-o", "R", "missing.vcf"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(lastLine(result.err), kUnphasedLine);
    EXPECT_NE(result.err.find("position 200: haplotype individual s08 has a missing allele (genotype .|1)"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(splitLines(readFile(dir.file("R.markers.txt"))).size(), 2u);
    EXPECT_FALSE(exists(dir, "R.snps.txt"));
}

TEST(Vcf2markersPositions, LimitTheSnpAndKnownFilesNotTheMarkerFile) {
    testsupport::ScratchDir dir;
    const std::string example = kExampleFolder + "chr20.vcf.gz";
    ASSERT_EQ(convert(dir, {"-e", "3", "-o", "all", example}).status, 0);
    const std::string markers = readFile(dir.file("all.markers.txt"));
    // Every other marker line, written as a marker file: only its first words count.
    std::string half;
    const std::vector<std::string> lines = splitLines(markers);
    for (std::size_t i = 0; i < lines.size(); i += 2) half += lines[i];
    writeFile(dir.file("half.txt"), half);

    const auto result = convert(dir, {"--positions", "half.txt", "-e", "3", "-o", "half", example});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err,
              "vcf2markers: 964 SNPs written; skipped 1481 below MAF, 645 monomorphic, 154 indels or other alleles; "
              "482 in the SNP file\n");
    EXPECT_EQ(readFile(dir.file("half.markers.txt")), markers);
    const std::vector<std::string> snps = splitLines(readFile(dir.file("all.snps.txt")));
    ASSERT_EQ(snps.size(), lines.size());
    std::string expectedSnps;
    std::string expectedKnown;
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        expectedSnps += snps[i];
        // -e counts the SNPs of the SNP file: its 1st, 4th, 7th, ...
        if (i / 2 % 3 == 0) expectedKnown += snps[i];
    }
    EXPECT_EQ(readFile(dir.file("half.snps.txt")), expectedSnps);
    EXPECT_EQ(readFile(dir.file("half.known.txt")), expectedKnown);

    // A plain list of positions reads the same; positions of no SNP are ignored.
    writeFile(dir.file("list.txt"), "1\n" + lines[2].substr(0, lines[2].find('\t')) + " \n\n");
    ASSERT_EQ(convert(dir, {"--positions", "list.txt", "-o", "one", example}).status, 0);
    EXPECT_EQ(readFile(dir.file("one.snps.txt")), snps[2]);
}

TEST(Vcf2markersPositions, RefusalsOfTheNewOptions) {
    testsupport::ScratchDir dir;
    writeFile(dir.file("bad.txt"), "100\nchr20 200\n");
    const std::string example = kExampleFolder + "chr20.vcf.gz";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } refusals[] = {
        {{"--unphased", "maybe", "-o", "x", example},
         "vcf2markers: --unphased takes stop or report, not 'maybe' (see vcf2markers -h)\n"},
        {{"--positions", "", "-o", "x", example},
         "vcf2markers: the positions file name (--positions) is empty (see vcf2markers -h)\n"},
        {{"--positions", "bad.txt", "-o", "x", example},
         "vcf2markers: bad.txt (--positions), line 2: 'chr20' is not a position (a whole number from 1 to "
         "2147483647)\n"},
        {{"--positions", "none.txt", "-o", "x", example},
         "vcf2markers: cannot open the positions file none.txt (--positions): No such file or directory\n"},
        {{"--describe", "--unphased", "report", example},
         "vcf2markers: --describe takes no option but -r, not --unphased (see vcf2markers -h)\n"},
    };
    for (const auto& refusal : refusals) {
        const auto result = convert(dir, refusal.args);
        EXPECT_EQ(result.status, 1) << refusal.message;
        EXPECT_EQ(result.err, refusal.message);
        EXPECT_FALSE(exists(dir, "x.markers.txt"));
    }
}

}  // namespace
