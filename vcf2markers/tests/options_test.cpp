// The command line: the forms each option may take, and every refusal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter.hpp"
#include "error.hpp"
#include "options.hpp"

namespace vcf2markers {
namespace {

std::string refusal(const std::vector<std::string>& args) {
    try {
        parseCommandLine(args);
    } catch (const ldtools::Error& error) {
        EXPECT_EQ(error.status(), 1);
        return error.what();
    }
    return "accepted";
}

TEST(Vcf2markersOptions, ShortAttachedSeparateAndLongFormsInAnyOrder) {
    const Options a = parseCommandLine({"in.vcf.gz", "-r20:1-5", "-s", "x,y", "--hap-samples=none", "-m",
                                        "0.1", "--output", "p"})
                          .options;
    EXPECT_EQ(a.input, "in.vcf.gz");
    EXPECT_EQ(a.region, "20:1-5");
    EXPECT_EQ(a.markers.kind, SampleChoice::Kind::list);
    EXPECT_EQ(a.markers.value, "x,y");
    EXPECT_EQ(a.haplotypes.kind, SampleChoice::Kind::none);
    EXPECT_EQ(a.minMaf, 0.1);
    EXPECT_EQ(a.prefix, "p");
    EXPECT_EQ(a.every, 0);

    const Options b = parseCommandLine({"-S", "m.txt", "-F", "h.txt", "-k", "known.txt", "-o", "p", "--", "-in.vcf"})
                          .options;
    EXPECT_EQ(b.input, "-in.vcf");
    EXPECT_EQ(b.markers.kind, SampleChoice::Kind::file);
    EXPECT_EQ(b.haplotypes.kind, SampleChoice::Kind::file);
    EXPECT_EQ(b.haplotypes.value, "h.txt");
    EXPECT_EQ(b.knownFile, "known.txt");
    EXPECT_EQ(b.minMaf, 0.05);

    const Options c = parseCommandLine({"-e3", "-m", "5e-1", "-o", "p", "-"}).options;
    EXPECT_EQ(c.every, 3);
    EXPECT_EQ(c.minMaf, 0.5);
    EXPECT_EQ(c.input, "-");
    EXPECT_EQ(c.markers.kind, SampleChoice::Kind::byDefault);

    EXPECT_EQ(parseCommandLine({"-o", "p", "-h", "--bogus"}).action, CommandLine::Action::help);
    EXPECT_EQ(parseCommandLine({"--version"}).action, CommandLine::Action::version);
}

TEST(Vcf2markersOptions, Refusals) {
    const std::string see = " (see vcf2markers -h)\n";
    EXPECT_EQ(refusal({"in.vcf"}), "vcf2markers: -o PREFIX is required" + see);
    EXPECT_EQ(refusal({"-o", "p"}), "vcf2markers: no input file given" + see);
    EXPECT_EQ(refusal({"-o", "p", "a.vcf", "b.vcf"}), "vcf2markers: one input file expected, got 2" + see);
    EXPECT_EQ(refusal({"-o", "p", "-x", "in.vcf"}), "vcf2markers: unknown option -x" + see);
    EXPECT_EQ(refusal({"-o", "p", "in.vcf", "--what=1"}), "vcf2markers: unknown option --what" + see);
    EXPECT_EQ(refusal({"-o", "p", "-hx", "in.vcf"}), "vcf2markers: unknown option -hx" + see);
    EXPECT_EQ(refusal({"in.vcf", "-o"}), "vcf2markers: -o needs a value" + see);
    EXPECT_EQ(refusal({"--help=yes"}), "vcf2markers: --help takes no value" + see);
    EXPECT_EQ(refusal({"-o", "p", "-o", "q", "in.vcf"}), "vcf2markers: -o is given twice" + see);
    EXPECT_EQ(refusal({"-o", "p", "-s", "a", "-S", "f", "in.vcf"}), "vcf2markers: -s and -S cannot be given together" + see);
    EXPECT_EQ(refusal({"-o", "p", "-F", "f", "-H", "a", "in.vcf"}), "vcf2markers: -F and -H cannot be given together" + see);
    EXPECT_EQ(refusal({"-o", "p", "-k", "k", "-e", "2", "in.vcf"}), "vcf2markers: -k and -e cannot be given together" + see);
    EXPECT_EQ(refusal({"-o", "p", "-H", "none", "-e", "2", "in.vcf"}),
              "vcf2markers: -e needs the SNP file, which -H none leaves out" + see);
    EXPECT_EQ(refusal({"-o", "out/", "in.vcf"}),
              "vcf2markers: -o takes a prefix for the file names, such as out/chr20, not a folder ('out/')" + see);
    EXPECT_EQ(refusal({"-o", "", "in.vcf"}), "vcf2markers: the output prefix (-o) is empty" + see);
    EXPECT_EQ(refusal({"-o", "p", "-r", "", "in.vcf"}), "vcf2markers: the region (-r) is empty" + see);
    for (const char* maf : {"-0.01", "0.5000001", "nan", "inf", "0x0.1p0", "", "0.1x", "1/20"})
        EXPECT_EQ(refusal({"-o", "p", "-m", maf, "in.vcf"}),
                  std::string("vcf2markers: -m takes a frequency from 0 to 0.5, not '") + maf + "'" + see);
    for (const char* every : {"0", "-1", "1.5", "x", "2147483648"})
        EXPECT_EQ(refusal({"-o", "p", "-e", every, "in.vcf"}),
                  std::string("vcf2markers: -e takes a whole number of at least 1, not '") + every + "'" + see);
}

TEST(Vcf2markersSummary, ReasonsInOrderWithZeroCountsLeftOut) {
    Summary summary;
    EXPECT_EQ(summaryLine(summary), "vcf2markers: 0 SNPs written\n");
    summary.written = 7;
    summary.duplicatePositions = 2;
    summary.belowMaf = 1;
    EXPECT_EQ(summaryLine(summary), "vcf2markers: 7 SNPs written; skipped 1 below MAF, 2 duplicate positions\n");
    summary.multiAllelic = 3;
    summary.otherAlleles = 4;
    summary.monomorphic = 5;
    summary.knownMissing = 6;
    EXPECT_EQ(summaryLine(summary),
              "vcf2markers: 7 SNPs written; skipped 1 below MAF, 5 monomorphic, 4 indels or other alleles, "
              "3 multi-allelic, 2 duplicate positions; 6 known positions not in the SNP file\n");
}

}  // namespace
}  // namespace vcf2markers
