// vcf2markers --describe: the pair window and the span of every chromosome of an indexed file,
// as the whole-genome workflow reads them before it cuts chromosomes into chunks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"
#include "vcffiles.hpp"

namespace {

testsupport::RunResult describe(const testsupport::ScratchDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {VCF2MARKERS_BIN, "--describe"});
    testsupport::RunOptions options;
    options.workdir = dir.path().string();
    return testsupport::run(args, options);
}

std::string record(const std::string& chromosome, long position, const std::string& ref = "A") {
    return vcftest::row(chromosome, position, ref, "C", {"0|1"});
}

// Chromosome a: length 5,000,000 declared, records up to 1,000,000 (span: the length).
// b: length 100 declared, a record at 3,000,123 beyond it (span: that record).
// c: no length; the last record, at 1,048,570, reaches past 2^20 with its 20 bases, so a query
// from 2^20 yields it although it starts before (span: its position, not the query's).
// d: declared, without records (a BCF index lists it; span 0).
std::string genomeText() {
    return "##fileformat=VCFv4.2\n##contig=<ID=a,length=5000000>\n##contig=<ID=b,length=100>\n"
           "##contig=<ID=c>\n##contig=<ID=d,length=900>\n"
           "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
           "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ts1\n" +
           record("a", 10) + record("a", 1000000) + record("b", 50) + record("b", 3000123) + record("c", 7) +
           record("c", 1048570, std::string(20, 'A'));
}

TEST(Vcf2markersDescribe, WindowAndSpansOfVcfAndBcf) {
    testsupport::ScratchDir dir;
    vcftest::writeBgzip(dir.file("g.vcf.gz"), genomeText());
    vcftest::writeBcf(dir.file("g.vcf.gz"), dir.file("g.bcf"));
    const std::string spans = "span\ta\t5000000\nspan\tb\t3000123\nspan\tc\t1048570\n";
    auto result = describe(dir, {"g.vcf.gz"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "window\t200000\n" + spans);
    result = describe(dir, {"g.bcf"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "window\t200000\n" + spans + "span\td\t0\n");

    // -r names one chromosome, as written or braced.
    EXPECT_EQ(describe(dir, {"-r", "b", "g.vcf.gz"}).out, "window\t200000\nspan\tb\t3000123\n");
    EXPECT_EQ(describe(dir, {"-r", "{c}", "g.bcf"}).out, "window\t200000\nspan\tc\t1048570\n");
    EXPECT_EQ(describe(dir, {"-r", "d", "g.bcf"}).out, "window\t200000\nspan\td\t0\n");
    result = describe(dir, {"-r", "d", "g.vcf.gz"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "vcf2markers: the index of g.vcf.gz lists no chromosome 'd'\n");
}

TEST(Vcf2markersDescribe, NamesWithColonsAndTheRefusals) {
    testsupport::ScratchDir dir;
    vcftest::writeBgzip(dir.file("hla.vcf.gz"),
                        "##fileformat=VCFv4.2\n##contig=<ID=HLA>\n##contig=<ID=HLA:1,length=2000>\n"
                        "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
                        "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ts1\n" +
                            record("HLA", 5) + record("HLA:1", 9));
    EXPECT_EQ(describe(dir, {"-r", "{HLA:1}", "hla.vcf.gz"}).out, "window\t200000\nspan\tHLA:1\t2000\n");
    EXPECT_EQ(describe(dir, {"-r", "HLA", "hla.vcf.gz"}).out, "window\t200000\nspan\tHLA\t5\n");

    vcftest::writeBgzip(dir.file("plain.vcf.gz"), genomeText(), false);
    testsupport::writeFile(dir.file("text.vcf"), genomeText());
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"plain.vcf.gz"}, "vcf2markers: plain.vcf.gz has no index (plain.vcf.gz.csi or .tbi), which --describe needs\n"},
        {{"text.vcf"}, "vcf2markers: --describe needs a bgzip-compressed file with an index; text.vcf is not compressed with bgzip\n"},
        {{"absent.vcf.gz"}, "vcf2markers: cannot open absent.vcf.gz: No such file or directory\n"},
        {{"-o", "x", "hla.vcf.gz"}, "vcf2markers: --describe takes no option but -r, not -o (see vcf2markers -h)\n"},
        {{"-r", "", "hla.vcf.gz"}, "vcf2markers: the chromosome (-r) is empty (see vcf2markers -h)\n"},
    };
    for (const auto& [args, message] : refusals) {
        const auto result = describe(dir, args);
        EXPECT_EQ(result.status, 1) << message;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, message);
    }
}

}  // namespace
