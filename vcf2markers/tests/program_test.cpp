// vcf2markers as a user runs it: the bundled example, small VCFs written here, every refusal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"
#include "vcffiles.hpp"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

const std::string kExample = testsupport::sourcePath("examples/chr20/chr20.vcf.gz");
const std::string kExampleSummary =
    "vcf2markers: 964 SNPs written; skipped 1481 below MAF, 645 monomorphic, 154 indels or other alleles\n";

testsupport::RunResult convert(const testsupport::ScratchDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), VCF2MARKERS_BIN);
    testsupport::RunOptions options;
    options.workdir = dir.path().string();
    return testsupport::run(args, options);
}

std::vector<std::string> filesIn(const testsupport::ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += part;
    return text;
}

TEST(Vcf2markersExample, ReproducesTheBundledFilesFromVcfAndBcfWholeAndByRegion) {
    testsupport::ScratchDir dir;
    vcftest::writeBcf(kExample, dir.file("chr20.bcf"));
    const std::string examples = testsupport::sourcePath("examples/chr20/");
    for (const std::vector<std::string>& input :
         {std::vector<std::string>{kExample}, {kExample, "-r", "20:1000000-1400000"}, {"chr20.bcf"},
          {"-r", "20:1,000,000-1,400,000", "chr20.bcf"}}) {
        std::vector<std::string> args = input;
        args.insert(args.end(), {"-e", "3", "-o", "X"});
        const auto result = convert(dir, args);
        SCOPED_TRACE(input.back());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, kExampleSummary);
        EXPECT_EQ(result.out, "");
        for (const char* file : {"markers", "snps", "known"})
            EXPECT_EQ(readFile(dir.file(std::string("X.") + file + ".txt")), readFile(examples + file + ".txt")) << file;
    }
}

TEST(Vcf2markersExample, SubsetsAndRegionsAgreeBetweenVcfAndBcfAndWithTheWholeFile) {
    testsupport::ScratchDir dir;
    vcftest::writeBcf(kExample, dir.file("chr20.bcf"));
    // Every polymorphic SNP of all 300 individuals, and a subset of three (the first, second and
    // last of the file, named out of order) in a region, from both forms of the file.
    auto result = convert(dir, {"-m", "0", "-H", "none", "-o", "all", kExample});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<std::string> subset = {"-r", "20:1100000-1250000", "-s", "HG00097,NA06986,HG00096",
                                             "-H", "none", "-m", "0.1"};
    std::vector<std::string> fromVcf = subset;
    fromVcf.insert(fromVcf.end(), {"-o", "vcf", kExample});
    std::vector<std::string> fromBcf = subset;
    fromBcf.insert(fromBcf.end(), {"-o", "bcf", "chr20.bcf"});
    const auto vcfRun = convert(dir, fromVcf);
    const auto bcfRun = convert(dir, fromBcf);
    ASSERT_EQ(vcfRun.status, 0) << vcfRun.err;
    ASSERT_EQ(bcfRun.status, 0) << bcfRun.err;
    EXPECT_EQ(vcfRun.err, bcfRun.err);
    const std::string markers = readFile(dir.file("vcf.markers.txt"));
    EXPECT_EQ(markers, readFile(dir.file("bcf.markers.txt")));

    // Each line of the subset: the three individuals' letters of the whole file's line.
    const std::string all = readFile(dir.file("all.markers.txt"));
    std::istringstream lines(markers);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        const std::string position = line.substr(0, line.find('\t'));
        EXPECT_GE(position, "1100000");
        EXPECT_LE(position, "1250000");
        const std::size_t at = all.find("\n" + position + "\t");
        ASSERT_NE(at, std::string::npos) << position;
        const std::string whole = all.substr(at + 1, all.find('\n', at + 1) - at - 1);
        const std::string letters = whole.substr(whole.rfind('\t') + 1);
        ASSERT_EQ(letters.size(), 600u);
        EXPECT_EQ(line.substr(line.rfind('\t') + 1), letters.substr(0, 4) + letters.substr(598)) << position;
        EXPECT_EQ(line.substr(position.size(), 3), "\t6\t");
    }
    EXPECT_GT(count, 10);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"all.ids.txt", "all.markers.txt", "bcf.ids.txt",
                                                      "bcf.markers.txt", "chr20.bcf", "chr20.bcf.csi",
                                                      "vcf.ids.txt", "vcf.markers.txt"}));
}

// Three marker individuals, no SNP file.
const std::string kTrio = vcftest::header({"a", "b", "c"});

TEST(Vcf2markersRecords, MissingAllelesAndMixedPhaseAmongMarkerIndividuals) {
    testsupport::ScratchDir dir;
    writeFile(dir.file("in.vcf"),
              kTrio + vcftest::row("20", 100, "A", "G", {"0/1", "./.", "1|1"}) +
                  vcftest::row("20", 200, "c", "t", {".|.", "0|1", "1/0"}) +
                  vcftest::row("20", 300, "T", "A", {".", "0|.", "./1"}) +
                  vcftest::row("20", 400, "G", "C", {"1|0", "0/0", "0|0"}));
    const auto result = convert(dir, {"-H", "none", "-m", "0", "-o", "out", "in.vcf"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "vcf2markers: 4 SNPs written\n");
    EXPECT_EQ(readFile(dir.file("out.markers.txt")),
              "100\t4\t4\tAG--GG\n"
              "200\t4\t3\t--CTTC\n"
              "300\t2\t2\t--T--A\n"
              "400\t6\t2\tCGGGGG\n");
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"in.vcf", "out.ids.txt", "out.markers.txt"}));
}

// Every written SNP has a line in the ID file, in marker-file order; a SNP without an ID is named
// chrom:pos:ref:alt (alleles as the VCF writes them), an ID that occurs twice stays on both lines,
// and skipped records have no line.
TEST(Vcf2markersRecords, IdFileNamesEveryWrittenSnp) {
    testsupport::ScratchDir dir;
    std::string rows = vcftest::row("20", 100, "A", "G", {"0/1", "0/0", "1|1"}) +
                       vcftest::row("20", 200, "c", "t", {"0|1", "0|1", "1/0"}) +
                       vcftest::row("20", 250, "A", "AT", {"0|1", "0|1", "1/0"}) +
                       vcftest::row("20", 300, "T", "A", {"0|1", "0|1", "1/0"}) +
                       vcftest::row("20", 400, "G", "C", {"0|0", "0|0", "0|0"});
    // The rows carry the ID "."; give the first and the fourth the same ID.
    for (const std::string position : {"100", "300"}) {
        const std::size_t at = rows.find("20\t" + position + "\t.\t");
        ASSERT_NE(at, std::string::npos);
        rows.replace(at, position.size() + 6, "20\t" + position + "\trs7\t");
    }
    writeFile(dir.file("in.vcf"), kTrio + rows);
    const auto result = convert(dir, {"-H", "none", "-m", "0", "-o", "out", "in.vcf"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(dir.file("out.ids.txt")),
              "100\trs7\tA\tG\n"
              "200\t20:200:c:t\tc\tt\n"
              "300\trs7\tT\tA\n");
}

TEST(Vcf2markersRecords, SkipReasonsInTheirOrderAndTheFrequencyBoundary) {
    testsupport::ScratchDir dir;
    // Ten individuals: 20 alleles, so 1 ALT is a frequency of 0.05 exactly.
    const auto individuals = vcftest::names("i", 10);
    auto alts = [](int ones) {
        std::vector<std::string> genotypes = vcftest::repeat("0|0", 10);
        for (int i = 0; i < ones; ++i) genotypes[static_cast<std::size_t>(i / 2)] = i % 2 == 0 ? "1|0" : "1|1";
        return genotypes;
    };
    writeFile(dir.file("in.vcf"),
              vcftest::header(individuals) + vcftest::row("20", 10, "A", "C", alts(1)) +  // at the boundary: kept
                  vcftest::row("20", 10, "A", "G", alts(2)) +       // second SNP at 10: duplicate
                  vcftest::row("20", 10, "AT", "A", alts(3)) +      // indel at 10: an indel, no duplicate
                  vcftest::row("20", 20, "A", "C", alts(0)) +       // monomorphic
                  vcftest::row("20", 30, "A", ".", alts(0)) +       // no ALT: monomorphic
                  vcftest::row("20", 40, "A", "C", alts(20)) +      // all ALT: monomorphic
                  vcftest::row("20", 50, "A", "<DEL>", alts(2)) +   // symbolic
                  vcftest::row("20", 60, "N", "C", alts(2)) +       // other letter
                  vcftest::row("20", 70, "A", "C,G", alts(2)) +     // multi-allelic
                  vcftest::row("20", 80, "A", "*", alts(2)) +       // spanning deletion
                  vcftest::row("20", 85, "g", "G", alts(2)) +       // ALT the same as REF
                  vcftest::row("20", 90, "G", "T", alts(19)) +      // 1 REF of 20: kept
                  vcftest::row("20", 90, "G", "T", alts(19)));      // same SNP again: duplicate
    auto result = convert(dir, {"-H", "none", "-o", "out", "in.vcf"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err,
              "vcf2markers: 2 SNPs written; skipped 3 monomorphic, 5 indels or other alleles, 1 multi-allelic, "
              "2 duplicate positions\n");
    EXPECT_EQ(readFile(dir.file("out.markers.txt")),
              "10\t20\t2\tCA" + join(vcftest::repeat("AA", 9)) + "\n90\t20\t20\t" + join(vcftest::repeat("TT", 9)) +
                  "TG\n");

    // Just above 0.05 the same records are below the minimum.
    result = convert(dir, {"-H", "none", "-m", "0.051", "-o", "out", "in.vcf"});
    EXPECT_EQ(result.err,
              "vcf2markers: 1 SNPs written; skipped 3 below MAF, 3 monomorphic, 5 indels or other alleles, "
              "1 multi-allelic\n");
    EXPECT_EQ(readFile(dir.file("out.markers.txt")).substr(0, 8), "10\t20\t3\t");
}

// Sixty individuals; the SNP file takes 50 of them.
const std::vector<std::string> kSixty = vcftest::names("s", 60);

// A record on which individual i (0-based) carries genotype(i).
template <typename Genotype>
std::string sixtyRow(long position, Genotype genotype) {
    std::vector<std::string> genotypes;
    for (int i = 0; i < 60; ++i) genotypes.push_back(genotype(i));
    return vcftest::row("20", position, "A", "C", genotypes);
}

TEST(Vcf2markersSamples, FileOrderWhateverOrderTheNamesComeIn) {
    testsupport::ScratchDir dir;
    // Individual i is 1|0 when i is even, else 0|0; at 200 only the last ten are unphased 0/1.
    writeFile(dir.file("in.vcf"),
              vcftest::header(kSixty) + sixtyRow(100, [](int i) { return i % 2 == 0 ? "1|0" : "0|0"; }) +
                  sixtyRow(200, [](int i) { return i >= 50 ? "0/1" : "0|0"; }));
    // The SNP file from the first 50 of the file: the unphased individuals stay out of it.
    auto result = convert(dir, {"-o", "all", "in.vcf"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(dir.file("all.snps.txt")), "100\t100\t26\t" + join(vcftest::repeat("1000", 25)) +
                                                      "\n200\t100\t1\t" + std::string(100, '0') + "\n");

    // Marker individuals named backwards and from a file with a blank line and CRLF endings;
    // haplotype individuals outside them, named in any order.
    writeFile(dir.file("markers.txt"), "s60\r\n\ns01\ns02\n");
    std::string haplotypes;
    for (int i = 50; i >= 1; --i) haplotypes += (i == 50 ? "" : ",") + kSixty[static_cast<std::size_t>(i - 1)];
    for (const std::vector<std::string>& choice :
         {std::vector<std::string>{"-s", "s60,s02,s01"}, {"-S", "markers.txt"}}) {
        std::vector<std::string> args = choice;
        args.insert(args.end(), {"-H", haplotypes, "-o", "some", "in.vcf"});
        result = convert(dir, args);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readFile(dir.file("some.markers.txt")), "100\t6\t2\tCAAAAA\n200\t6\t2\tAAAAAC\n");
        EXPECT_EQ(readFile(dir.file("some.snps.txt")), readFile(dir.file("all.snps.txt")));
    }
}

TEST(Vcf2markersKnown, PositionsFromAListOrFromAVcf) {
    testsupport::ScratchDir dir;
    std::string text = vcftest::header(kSixty);
    for (long position = 100; position <= 600; position += 100)
        text += sixtyRow(position, [position](int i) { return i < position / 100 ? "0|1" : "0|0"; });
    writeFile(dir.file("in.vcf"), text);
    auto snpLine = [](long position) {
        const int ones = static_cast<int>(position / 100);
        return std::to_string(position) + "\t100\t" + std::to_string(ones + 1) + "\t" +
               join(vcftest::repeat("01", ones)) + std::string(100 - 2 * ones, '0') + "\n";
    };

    // Unsorted, repeated, blank lines, blanks around numbers; 250 is no SNP of the file.
    writeFile(dir.file("known.txt"), "500\n 200\t\n\n200\n250\r\n");
    auto result = convert(dir, {"-m", "0", "-k", "known.txt", "-o", "out", "in.vcf"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "vcf2markers: 6 SNPs written; 1 known positions not in the SNP file\n");
    EXPECT_EQ(readFile(dir.file("out.known.txt")), snpLine(200) + snpLine(500));

    // A VCF of known SNPs: only its records on chromosome 20 within the region count.
    vcftest::writeBgzip(dir.file("in.vcf.gz"), text);
    vcftest::writeBgzip(dir.file("known.vcf.gz"),
                        vcftest::header({"x"}) + vcftest::row("20", 150, "A", "G", {"0|1"}) +
                            vcftest::row("20", 300, "AT", "A", {"0|1"}) + vcftest::row("20", 400, "A", "C", {"0|1"}) +
                            vcftest::row("20", 700, "A", "C", {"0|1"}) + vcftest::row("21", 200, "A", "C", {"0|1"}),
                        false);
    result = convert(dir, {"-r", "20:200-600", "-m", "0", "-k", "known.vcf.gz", "-o", "out", "in.vcf.gz"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "vcf2markers: 5 SNPs written\n");
    EXPECT_EQ(readFile(dir.file("out.known.txt")), snpLine(300) + snpLine(400));

    // Every second SNP of the SNP file.
    result = convert(dir, {"-m", "0", "-e", "2", "-o", "out", "in.vcf"});
    EXPECT_EQ(readFile(dir.file("out.known.txt")), snpLine(100) + snpLine(300) + snpLine(500));
}

struct Refusal {
    const char* name;
    std::string input;  // text of in.vcf
    std::vector<std::string> args;
    std::string message;
};

TEST(Vcf2markersErrors, OneLineStatusOneAndNoOutputFile) {
    const std::string sixty = vcftest::header(kSixty);
    const std::string good = sixty + sixtyRow(100, [](int i) { return i % 3 == 0 ? "0|1" : "0|0"; });
    const std::string pos = "vcf2markers: in.vcf: position 100: ";
    const std::vector<Refusal> refusals = {
        {"missing input", good, {"-o", "out", "absent.vcf"},
         "vcf2markers: cannot open absent.vcf: No such file or directory\n"},
        {"not a VCF", "100\t2\t2\tAC\n", {"-o", "out", "in.vcf"}, "vcf2markers: in.vcf is not a VCF or BCF file\n"},
        {"region without index", good, {"-r", "20:1-1000", "-o", "out", "in.vcf.gz"},
         "vcf2markers: in.vcf.gz has no index (in.vcf.gz.csi or .tbi), which -r needs\n"},
        {"absent chromosome", good, {"-r", "21:1-1000", "-o", "out", "indexed.vcf.gz"},
         "vcf2markers: indexed.vcf.gz holds no records on chromosome '21'\n"},
        {"unknown individual", good, {"-s", "s01,nobody", "-o", "out", "in.vcf"},
         "vcf2markers: in.vcf has no individual named 'nobody' (-s)\n"},
        {"repeated individual", good, {"-s", "s02,s01,s02", "-o", "out", "in.vcf"},
         "vcf2markers: -s names 's02' twice\n"},
        {"unreadable sample file", good, {"-F", "absent.txt", "-o", "out", "in.vcf"},
         "vcf2markers: cannot read the sample file absent.txt (-F): No such file or directory\n"},
        {"too few haplotype individuals", good, {"-H", "s01,s02", "-o", "out", "in.vcf"},
         "vcf2markers: -H names 2 individuals; the SNP file needs exactly 50\n"},
        {"too few marker individuals for the default", good, {"-s", "s01", "-o", "out", "in.vcf"},
         "vcf2markers: the SNP file needs 50 individuals, and there are only 1 marker individuals; name 50 with -H "
         "or -F, or give -H none\n"},
        {"haploid genotype", sixty + sixtyRow(100, [](int i) { return i == 55 ? "1" : "0|1"; }),
         {"-o", "out", "in.vcf"}, pos + "individual s56 is not diploid (genotype 1)\n"},
        {"triploid genotype", sixty + sixtyRow(100, [](int i) { return i == 0 ? "0/0/1" : "0|1"; }),
         {"-o", "out", "in.vcf"}, pos + "individual s01 is not diploid (genotype 0/0/1)\n"},
        {"unphased heterozygote", sixty + sixtyRow(100, [](int i) { return i == 9 ? "1/0" : "0|1"; }),
         {"-o", "out", "in.vcf"},
         pos + "haplotype individual s10 has an unphased heterozygous genotype (1/0); the SNP file needs phased "
               "genotypes\n"},
        {"missing haplotype allele", sixty + sixtyRow(100, [](int i) { return i == 49 ? ".|1" : "0|1"; }),
         {"-o", "out", "in.vcf"},
         pos + "haplotype individual s50 has a missing allele (genotype .|1); the SNP file needs both alleles of its "
               "individuals\n"},
        {"unsorted positions", good + sixtyRow(99, [](int) { return "0|1"; }), {"-o", "out", "in.vcf"},
         "vcf2markers: in.vcf: position 99: the records are not sorted (position 100 came before)\n"},
        {"several chromosomes", good + vcftest::row("21", 5, "A", "C", vcftest::repeat("0|1", 60)),
         {"-o", "out", "in.vcf"}, "vcf2markers: in.vcf holds several chromosomes (20, 21); choose one with -r\n"},
        {"bad known position", good, {"-k", "known.txt", "-o", "out", "in.vcf"},
         "vcf2markers: known.txt (-k), line 2: '2e3' is not a position (a whole number from 1 to 2147483647)\n"},
        {"missing output folder", good, {"-o", "nowhere/out", "in.vcf"},
         "vcf2markers: cannot write nowhere/out.markers.txt: No such file or directory\n"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        testsupport::ScratchDir dir;
        writeFile(dir.file("in.vcf"), refusal.input);
        vcftest::writeBgzip(dir.file("in.vcf.gz"), refusal.input, false);
        vcftest::writeBgzip(dir.file("indexed.vcf.gz"), good);
        writeFile(dir.file("known.txt"), "100\n2e3\n");
        // An earlier run's marker file stays as it was.
        writeFile(dir.file("out.markers.txt"), "earlier\n");
        const auto before = filesIn(dir);
        const auto result = convert(dir, refusal.args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, refusal.message);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(filesIn(dir), before);
        EXPECT_EQ(readFile(dir.file("out.markers.txt")), "earlier\n");
    }
}

TEST(Vcf2markersErrors, TruncatedCompressedInput) {
    testsupport::ScratchDir dir;
    const std::string example = readFile(kExample);
    // Cut between blocks (the end-of-file block lost), and cut inside a block with the
    // end-of-file block put back.
    writeFile(dir.file("short.vcf.gz"), example.substr(0, example.size() - 28));
    writeFile(dir.file("cut.vcf.gz"), example.substr(0, 100000) + example.substr(example.size() - 28));
    auto result = convert(dir, {"-o", "out", "short.vcf.gz"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "vcf2markers: short.vcf.gz is truncated (its end-of-file marker is missing)\n");
    result = convert(dir, {"-o", "out", "cut.vcf.gz"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("vcf2markers: cut.vcf.gz: cannot read the record after position ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1);
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"cut.vcf.gz", "short.vcf.gz"}));
}

// The ID file's fields are separated by white space: an ID holding any is refused, not written as
// a line that every reader of the file would split wrongly; the same ID in a skipped record does
// not matter.
TEST(Vcf2markersErrors, VariantIdsWithWhiteSpace) {
    testsupport::ScratchDir dir;
    const std::string header =
        "##fileformat=VCFv4.2\n##contig=<ID=20>\n##FORMAT=<ID=GT,Number=1,Type=String,Description=\"g\">\n"
        "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\n";
    writeFile(dir.file("ids.vcf"), header + "20\t100\trs 1\tA\tAT\t.\t.\t.\tGT\t0|1\t1|1\n"
                                            "20\t200\trs2\tA\tG\t.\t.\t.\tGT\t0|1\t1|1\n");
    auto result = convert(dir, {"-H", "none", "-m", "0", "-o", "out", "ids.vcf"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(dir.file("out.ids.txt")), "200\trs2\tA\tG\n");
    writeFile(dir.file("ids.vcf"), header + "20\t200\trs\v2\tA\tG\t.\t.\t.\tGT\t0|1\t1|1\n");
    result = convert(dir, {"-H", "none", "-m", "0", "-o", "out", "ids.vcf"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "vcf2markers: ids.vcf: position 200: the variant ID 'rs\\x0b2' holds white space, which the "
                          "ID file (out.ids.txt) cannot hold\n");
    EXPECT_EQ(readFile(dir.file("out.ids.txt")), "200\trs2\tA\tG\n");
}

TEST(Vcf2markersCommandLine, HelpVersionAndEmptyResult) {
    testsupport::ScratchDir dir;
    auto result = convert(dir, {"-h"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("Usage: vcf2markers [options] -o PREFIX", 0), 0u);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(convert(dir, {"--help"}).out, result.out);
    result = convert(dir, {"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "vcf2markers " LDTOOLS_VERSION "\n");

    // A region without SNPs still gives (empty) files.
    result = convert(dir, {"-r", "20:1-999999", "-e", "3", "-o", "none", kExample});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "vcf2markers: 0 SNPs written\n");
    for (const char* file : {"none.markers.txt", "none.snps.txt", "none.known.txt"})
        EXPECT_EQ(readFile(dir.file(file)), "") << file;
}

// Genotype values of a BCF that are no code of htslib's encoding (negative, other than its two
// markers), or the marker of an individual without a GT value: an error naming the position and
// the individual, never a letter read from outside the table or a NUL byte in the allele string.
TEST(Vcf2markersErrors, GenotypeCodesThatNameNoAllele) {
    testsupport::ScratchDir dir;
    const std::vector<std::int32_t> good = {2, 4, 4, 4, 2, 2};
    auto withCode = [&](std::int32_t code) {
        return std::vector<std::vector<std::int32_t>>{good, {code, 4, 4, 4, 2, 3}, good};
    };
    const std::string pos = "vcf2markers: gt.bcf: position 200: individual b ";
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0x80000010u, pos + "has a genotype code that stands for no allele (0x80000010)\n"},
        {0xFFFFFFFEu, pos + "has a genotype code that stands for no allele (0xFFFFFFFE)\n"},
        {0xFFFFFFFFu, pos + "has a genotype code that stands for no allele (0xFFFFFFFF)\n"},
        {0x80000000u, pos + "has no genotype (no GT value in its column)\n"},
    };
    for (const auto& [code, message] : cases) {
        SCOPED_TRACE(code);
        std::vector<std::vector<std::int32_t>> codes = withCode(static_cast<std::int32_t>(code));
        // The second individual's first value (the first individual stays valid).
        std::swap(codes[1][0], codes[1][2]);
        vcftest::writeRawGenotypes(dir.file("gt.bcf"), {"a", "b", "c"}, codes);
        const auto result = convert(dir, {"-H", "none", "-m", "0", "-o", "out", "gt.bcf"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, message);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.markers.txt")));
    }
    // GT values stored as text, on which htslib would end the process without a word.
    vcftest::writeRawGenotypes(dir.file("gt.bcf"), {"a", "b", "c"}, {good}, true);
    auto result = convert(dir, {"-H", "none", "-m", "0", "-o", "out", "gt.bcf"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "vcf2markers: gt.bcf: position 100: the GT values are not whole numbers\n");

    // The same codes are read as they are where they are valid.
    vcftest::writeRawGenotypes(dir.file("gt.bcf"), {"a", "b", "c"}, {good, {0, 5, 4, 1, 2, 3}});
    result = convert(dir, {"-H", "none", "-m", "0", "-o", "out", "gt.bcf"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(dir.file("out.markers.txt")), "100\t6\t4\tAGGGAA\n200\t4\t3\t-GG-AA\n");

    // A VCF column that stops before its GT value, and a haplotype individual with a bad code.
    writeFile(dir.file("short.vcf"),
              "##fileformat=VCFv4.2\n##contig=<ID=20>\n##FORMAT=<ID=GT,Number=1,Type=String,Description=\"g\">\n"
              "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"d\">\n"
              "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\n"
              "20\t100\t.\tA\tG\t.\t.\t.\tDP:GT\t5:0/1\t6\n");
    result = convert(dir, {"-H", "none", "-o", "out", "short.vcf"});
    EXPECT_EQ(result.err, "vcf2markers: short.vcf: position 100: individual b has no genotype (no GT value in its column)\n");
    // h50 is a haplotype individual only.
    const std::vector<std::string> fifty = vcftest::names("h", 50);
    std::vector<std::int32_t> phased(100, 3);
    phased[1] = 5;  // h01, the marker individual: 0|1
    phased[99] = static_cast<std::int32_t>(0xFFFFFFFEu);
    vcftest::writeRawGenotypes(dir.file("gt.bcf"), fifty, {phased});
    std::string list;
    for (const std::string& name : fifty) list += name + "\n";
    writeFile(dir.file("fifty.txt"), list);
    result = convert(dir, {"-s", "h01", "-F", "fifty.txt", "-m", "0", "-o", "out", "gt.bcf"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "vcf2markers: gt.bcf: position 100: individual h50 has a genotype code that stands for no allele "
              "(0xFFFFFFFE)\n");
}

// A line of a sample file or a -k list may hold 1 MiB; a longer one, or a file without line
// breaks, is refused with the file and the line.
TEST(Vcf2markersErrors, ListLinesLongerThanOneMebibyte) {
    testsupport::ScratchDir dir;
    writeFile(dir.file("in.vcf"), vcftest::header(kSixty) + sixtyRow(100, [](int i) { return i % 2 ? "0|1" : "0|0"; }));
    const std::string limit(1 << 20, ' ');
    writeFile(dir.file("fits.txt"), "100\n" + limit + "\n100\n");
    writeFile(dir.file("long.txt"), "100\n" + limit + " \n100\n");
    auto result = convert(dir, {"-k", "fits.txt", "-o", "out", "in.vcf"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "vcf2markers: 1 SNPs written\n");
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"-S", "/dev/zero", "-H", "none"}, "vcf2markers: /dev/zero (-S), line 1: line longer than 1048576 bytes\n"},
        {{"-F", "/dev/zero"}, "vcf2markers: /dev/zero (-F), line 1: line longer than 1048576 bytes\n"},
        {{"-F", "long.txt"}, "vcf2markers: long.txt (-F), line 2: line longer than 1048576 bytes\n"},
        {{"-k", "long.txt"}, "vcf2markers: long.txt (-k), line 2: line longer than 1048576 bytes\n"},
    };
    for (const auto& [options, message] : refusals) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"-o", "out", "in.vcf"});
        result = convert(dir, args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, message);
    }
}

// Files htslib does not recognise, and a known-SNP VCF cut between two compressed blocks, are
// refused as the main input is.
TEST(Vcf2markersErrors, UnrecognisedAndTruncatedFilesAsInputAndAsKnownSnps) {
    testsupport::ScratchDir dir;
    writeFile(dir.file("binary.dat"), std::string("\x00\x01\x02\xff\xfe binary", 13) + std::string(2000, '\0'));
    // The example cut after its third block, which loses its end-of-file block.
    const std::string example = readFile(kExample);
    std::size_t cut = 0;
    for (int block = 0; block < 3; ++block)
        cut += 1 + static_cast<unsigned char>(example[cut + 16]) + 256u * static_cast<unsigned char>(example[cut + 17]);
    writeFile(dir.file("cut.vcf.gz"), example.substr(0, cut));
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"binary.dat"}, "vcf2markers: binary.dat is not a VCF or BCF file\n"},
        {{"-k", "binary.dat", kExample}, "vcf2markers: binary.dat (-k) is neither a VCF/BCF file nor a list of positions\n"},
        {{"-k", "cut.vcf.gz", kExample}, "vcf2markers: cut.vcf.gz (-k) is truncated (its end-of-file marker is missing)\n"},
    };
    for (const auto& [operands, message] : refusals) {
        std::vector<std::string> args = {"-o", "out"};
        args.insert(args.end(), operands.begin(), operands.end());
        const auto result = convert(dir, args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, message);
    }
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"binary.dat", "cut.vcf.gz"}));
}

// An index older than its file may lack records the file gained since: one line names both, the
// run goes on. The line comes first also when the run then fails.
TEST(Vcf2markersRegion, AnIndexOlderThanItsFileIsNamedInAWarning) {
    testsupport::ScratchDir dir;
    const std::string text = vcftest::header({"a", "b", "c"}) +
                             vcftest::row("20", 100, "A", "G", {"0/1", "0/0", "1/1"});
    vcftest::writeBgzip(dir.file("in.vcf.gz"), text);
    vcftest::writeBcf(dir.file("in.vcf.gz"), dir.file("in.bcf"));
    const timespec older[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const char* index : {"in.vcf.gz.tbi", "in.bcf.csi"})
        ASSERT_EQ(::utimensat(AT_FDCWD, dir.file(index).c_str(), older, 0), 0);
    for (const char* input : {"in.vcf.gz", "in.bcf"}) {
        SCOPED_TRACE(input);
        const std::string index = std::string(input) + (input == std::string("in.bcf") ? ".csi" : ".tbi");
        const std::string warning = "vcf2markers: the index " + index + " is older than " + input +
                                    "; if the file changed since, rebuild the index, or records may be missed\n";
        auto result = convert(dir, {"-r", "20:1-1000", "-H", "none", "-o", "out", input});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, warning + "vcf2markers: 1 SNPs written\n");
        result = convert(dir, {"-r", "20:1-1000", "-H", "none", "-o", "nowhere/out", input});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, warning + "vcf2markers: cannot write nowhere/out.markers.txt: No such file or directory\n");
    }
}

// A region "HLA:1" where the file has chromosomes HLA and HLA:1 could mean either; braces say which.
TEST(Vcf2markersRegion, ANameWithAColonIsAmbiguousUnlessBraced) {
    testsupport::ScratchDir dir;
    vcftest::writeBgzip(dir.file("hla.vcf.gz"),
                        "##fileformat=VCFv4.2\n##contig=<ID=HLA>\n##contig=<ID=HLA:1>\n"
                        "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"g\">\n"
                        "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\n"
                        "HLA\t1\t.\tA\tG\t.\t.\t.\tGT\t0/1\t0/0\n"
                        "HLA\t5\t.\tA\tG\t.\t.\t.\tGT\t0/1\t1/1\n"
                        "HLA:1\t3\t.\tC\tT\t.\t.\t.\tGT\t0/1\t0/0\n");
    vcftest::writeBcf(dir.file("hla.vcf.gz"), dir.file("hla.bcf"));
    for (const char* input : {"hla.vcf.gz", "hla.bcf"}) {
        SCOPED_TRACE(input);
        auto result = convert(dir, {"-r", "HLA:1", "-H", "none", "-m", "0", "-o", "out", input});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, std::string("vcf2markers: -r HLA:1 is ambiguous: ") + input +
                                  " has chromosomes 'HLA' and 'HLA:1'; write {HLA:1} for the chromosome HLA:1 or "
                                  "{HLA}:1 for a region of HLA\n");
        result = convert(dir, {"-r", "{HLA:1}", "-H", "none", "-m", "0", "-o", "out", input});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readFile(dir.file("out.markers.txt")), "3\t4\t2\tCTCC\n");
        result = convert(dir, {"-r", "{HLA}:1-5", "-H", "none", "-m", "0", "-o", "out", input});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(readFile(dir.file("out.markers.txt")), "1\t4\t2\tAGAA\n5\t4\t4\tAGGG\n");
    }
}

// Names taken from the file reach a message with their control bytes escaped, so that it stays one
// line on any terminal.
TEST(Vcf2markersErrors, NamesFromTheFileAreQuotedInMessages) {
    testsupport::ScratchDir dir;
    const std::string head = "##fileformat=VCFv4.2\n##contig=<ID=20>\n##contig=<ID=2\x1b" "1>\n"
                             "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"g\">\n"
                             "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\rc\n";
    writeFile(dir.file("in.vcf"), head + "20\t100\t.\tA\tG\t.\t.\t.\tGT\t0/1\t1\n");
    auto result = convert(dir, {"-H", "none", "-o", "out", "in.vcf"});
    EXPECT_EQ(result.err, "vcf2markers: in.vcf: position 100: individual b\\x0dc is not diploid (genotype 1)\n");
    writeFile(dir.file("in.vcf"), head + "20\t100\t.\tA\tG\t.\t.\t.\tGT\t0/1\t1/1\n2\x1b" "1\t5\t.\tA\tG\t.\t.\t.\tGT\t0/1\t1/1\n");
    result = convert(dir, {"-H", "none", "-o", "out", "in.vcf"});
    EXPECT_EQ(result.err, "vcf2markers: in.vcf holds several chromosomes (20, 2\\x1b1); choose one with -r\n");
}

// htslib's parser takes a NUL byte for the end of a column and then, when only some individuals
// are decoded (-s, or none for a -k file), writes past its buffers: a VCF line holding one is a
// malformed record, as the input and as known SNPs.
TEST(Vcf2markersErrors, ANulByteInAVcfLineIsAMalformedRecord) {
    testsupport::ScratchDir dir;
    const std::string text = "##fileformat=VCFv4.2\n#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ta\tb\tc\n"
                             "20\t1\t\tA\tG\t.\t.\t.\tG1" + std::string("\0" "1\x10\0\0\0", 6) + "\n";
    writeFile(dir.file("in.vcf"), text);
    auto result = convert(dir, {"-s", "c,a", "-H", "none", "-o", "out", "in.vcf"});
    EXPECT_EQ(result.err, "vcf2markers: in.vcf: cannot read the first record (truncated or malformed file)\n");
    writeFile(dir.file("good.vcf"), vcftest::header(kSixty) + sixtyRow(100, [](int i) { return i % 2 ? "0|1" : "0|0"; }));
    result = convert(dir, {"-k", "in.vcf", "-o", "out", "good.vcf"});
    EXPECT_EQ(result.err, "vcf2markers: in.vcf (-k): cannot read the first record (truncated or malformed file)\n");
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"good.vcf", "in.vcf"}));
}

}  // namespace

