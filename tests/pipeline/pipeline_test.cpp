// End-to-end runs of the ldblocks pipeline script over the built programs, laid out
// as an installation would lay them out (script and programs in one folder).

#include "pipelinefixture.hpp"
#include "process.hpp"
#include "scratch.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::run;
using testsupport::ScratchDir;
using testsupport::sourcePath;

namespace {

const std::string chr20 = sourcePath("examples/chr20/");

TEST_F(Pipeline, Chr20ReportMatchesGolden) {
    auto r = ldblocks({"-o", out() + "//", chr20 + "markers.txt", chr20 + "snps.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(out("report.txt")), readFile(sourcePath("tests/pipeline/golden/chr20-report.txt")));
    for (const char* name : {"bounds.txt", "ldtile.txt", "plot.dat", "blocks.dat", "blocks.sorted.dat", "tags.txt"})
        EXPECT_TRUE(fs::exists(out(name))) << name;
    EXPECT_FALSE(fs::exists(out("ld.png")));
    EXPECT_FALSE(fs::exists(out("report.txt.partial")));
    EXPECT_NE(r.out.find("report written to " + out("report.txt")), std::string::npos) << r.out;
}

TEST_F(Pipeline, Chr20ReportWithKnownSnpsMatchesGolden) {
    auto r = ldblocks({"-k", chr20 + "known.txt", "-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(out("report.txt")), readFile(sourcePath("tests/pipeline/golden/chr20-known-report.txt")));
}

TEST_F(Pipeline, BoundsFileHoldsExactlyTheFourNumberRecords) {
    // Markers 1000-1300 are in complete LD (25 individuals 00/00, 25 11/11); 1200 is monomorphic (empty-margin lines) and 500000 lies
    // more than 200000 beyond its neighbour (a far-pair line).
    std::string a = std::string(50, 'A') + std::string(50, 'G');
    std::string c = std::string(50, 'C') + std::string(50, 'T');
    fs::create_directory(out());
    testsupport::writeFile(out("markers.txt"), "1000 100 51 " + a + "\n1100 100 51 " + c + "\n1200 100 1 " +
                                                   std::string(100, 'A') + "\n1300 100 51 " + a + "\n500000 100 51 " +
                                                   c + "\n");
    std::string phased;
    for (const char* position : {"1000", "1100", "1200", "1300", "500000"})
        phased += std::string(position) + " 100 51 " + std::string(50, '0') + std::string(50, '1') + "\n";
    testsupport::writeFile(out("snps.txt"), phased);
    // A full report left by an earlier version of the script is removed with the other old files.
    testsupport::writeFile(out("linkstat.txt"), "stale\n");
    ASSERT_EQ(ldblocks({"-o", out(), out("markers.txt"), out("snps.txt")}).status, 0);
    EXPECT_FALSE(fs::exists(out("linkstat.txt")));
    EXPECT_EQ(readFile(out("bounds.txt")),
              "1000\t1100\t\t0.940\t1.000\n"
              "1000\t1300\t\t0.940\t1.000\n"
              "1100\t1300\t\t0.940\t1.000\n");
}

TEST_F(Pipeline, BlocksAreSortedForTheAnalyser) {
    ASSERT_EQ(ldblocks({"-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"}).status, 0);
    std::istringstream sorted(readFile(out("blocks.sorted.dat")));
    std::string header;
    std::getline(sorted, header);
    EXPECT_EQ(header, "SNP1\tindex\tSNP2\tindex");
    long previousLast = -1, first, firstIndex, last, lastIndex;
    size_t blocks = 0;
    while (sorted >> first >> firstIndex >> last >> lastIndex) {
        EXPECT_GT(first, previousLast);
        previousLast = last;
        ++blocks;
    }
    std::string unsorted = readFile(out("blocks.dat"));
    EXPECT_EQ(blocks + 1, static_cast<size_t>(std::count(unsorted.begin(), unsorted.end(), '\n')));
}

TEST_F(Pipeline, FailingStepStopsWithItsMessageAndLeavesNoReport) {
    fs::create_directory(out());
    testsupport::writeFile(out("report.txt"), "stale report of an earlier run\n");
    auto r = ldblocks({"-o", out(), chr20 + "no-such-file.txt", chr20 + "snps.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot Access Input File " + chr20 + "no-such-file.txt"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ldblocks: linkstat failed (exit status 1); no report written"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out("report.txt")));
    EXPECT_FALSE(fs::exists(out("report.txt.partial")));
}

// The status of every stage of the bounds counts. From a marker file linkstat writes bounds.txt and
// ldtile reads it after; from a VCF the bounds stream from linkstat through packbounds into ldtile,
// and a stage that only stopped because a later one ended first is not blamed.
TEST_F(Pipeline, EveryStageOfTheBoundsIsChecked) {
    fs::create_directory(out());
    // The second marker set has a shorter allele string: linkstat fails after writing the first
    // set's bounds.
    std::string set = readFile(chr20 + "markers.txt").substr(0, 60000);
    set.resize(set.rfind('\n') + 1);
    testsupport::writeFile(out("markers.txt"), set + "\n1 600 2 ACAC\n2 600 2 AC\n");
    auto late = ldblocks({"-o", out(), out("markers.txt"), chr20 + "snps.txt"});
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.err.find("Wrong number of chromosomes"), std::string::npos) << late.err;
    EXPECT_NE(late.err.find("ldblocks: linkstat failed (exit status 1); no report written"), std::string::npos)
        << late.err;
    EXPECT_FALSE(fs::exists(out("report.txt")));
    EXPECT_FALSE(fs::exists(out("ldtile.txt")));

    // A block finder that gives up at once: its failure is the one reported. From the VCF, linkstat
    // then dies of the broken pipe.
    fs::remove(bin() / "ldtile");
    testsupport::writeFile((bin() / "ldtile").string(), "#!/bin/sh\nhead -c 10 >/dev/null\necho 'ldtile: gave up' >&2\nexit 3\n");
    fs::permissions(bin() / "ldtile", fs::perms::owner_all);
    for (const std::string& input : {chr20 + "markers.txt", chr20 + "chr20.vcf.gz"}) {
        std::vector<std::string> args = {"-o", out(), input};
        if (input.ends_with(".txt")) args.push_back(chr20 + "snps.txt");
        auto early = ldblocks(args);
        EXPECT_EQ(early.status, 3) << input;
        EXPECT_NE(early.err.find("ldtile: gave up"), std::string::npos) << early.err;
        EXPECT_NE(early.err.find("ldblocks: ldtile failed (exit status 3); no report written"), std::string::npos)
            << early.err;
        EXPECT_EQ(early.err.find("linkstat failed"), std::string::npos) << early.err;
        EXPECT_EQ(early.err.find("writing the LD bounds file failed"), std::string::npos) << early.err;
        EXPECT_FALSE(fs::exists(out("report.txt"))) << input;
    }
}

TEST_F(Pipeline, OutputFolderNamesAndOutputsThatAreFolders) {
    // A folder name beginning with "-" reaches every step as a name, never as an option.
    fs::create_directory(scratch.path() / "work");
    const std::string work = (scratch.path() / "work").string();
    auto dashed = ldblocks({"-o", "-out", chr20 + "markers.txt", chr20 + "snps.txt"}, work);
    ASSERT_EQ(dashed.status, 0) << dashed.err;
    EXPECT_EQ(readFile(work + "/-out/report.txt"), readFile(sourcePath("tests/pipeline/golden/chr20-report.txt")));

    // A report name taken by a folder is an error, not a report moved into that folder.
    fs::create_directories(out("report.txt"));
    auto taken = ldblocks({"-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find("ldblocks: " + out("report.txt") + " is a folder"), std::string::npos) << taken.err;
    EXPECT_TRUE(fs::is_empty(out("report.txt")));
}

// The VCF form converts the example's VCF and gives the same report as its text files, and the
// picture of the LD map is drawn next to it (with the recombination track of a genetic map).
TEST_F(Pipeline, Chr20FromTheVcfMatchesTheGoldenReport) {
    fs::create_directory(out());
    testsupport::writeFile(out("map.txt"), "pos chr cM\n900000 20 1.0\n1500000 20 1.9\n");
    auto r = ldblocksWithPlot({"-e", "3", "-g", out("map.txt"), "-o", out(), chr20 + "chr20.vcf.gz"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "vcf2markers: 964 SNPs written; skipped 1481 below MAF, 645 monomorphic, 154 indels or other alleles\n");
    EXPECT_EQ(readFile(out("report.txt")), readFile(sourcePath("tests/pipeline/golden/chr20-known-report.txt")));
    for (const char* name : {"markers.txt", "snps.txt", "known.txt"})
        EXPECT_EQ(readFile(out(name)), readFile(chr20 + name)) << name;
    EXPECT_FALSE(fs::exists(out("vcf2markers.markers.txt")));
    const std::string png = readFile(out("ld.png"));
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // The view marks the tag SNPs of this run's tag file, which it can only have read after haplotypes.
    EXPECT_NE(readFile(out("view/index.html")).find("<canvas"), std::string::npos);

    // A failing conversion stops the run before any other step.
    auto bad = ldblocks({"-s", "nobody", "-o", out(), chr20 + "chr20.vcf.gz"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("ldblocks: vcf2markers failed (exit status 1); no report written"), std::string::npos)
        << bad.err;
    EXPECT_FALSE(fs::exists(out("report.txt")));
    EXPECT_FALSE(fs::exists(out("bounds.txt")));
}

// The view's folder belongs to the run: the clean slate removes it (also when no picture is
// drawn), and an input inside it, by its name or through a link, is refused before that.
TEST_F(Pipeline, TheViewFolderIsReplacedWholeAndItsFilesAreNoInputs) {
    fs::create_directories(out("view/data"));
    testsupport::writeFile(out("view/data/old.js"), "stale\n");
    fs::copy_file(chr20 + "known.txt", out("view/known.txt"));
    fs::create_symlink(out("view/known.txt"), scratch.file("known-link.txt"));
    fs::create_hard_link(out("view/known.txt"), scratch.file("known-hard.txt"));
    for (const std::string& known :
         {out("view/known.txt"), scratch.file("known-link.txt"), scratch.file("known-hard.txt")}) {
        const auto refused = ldblocks({"-k", known, "-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "ldblocks: -k " + known + " would be removed with this run's " + out("view") +
                                   "; move it or choose another output folder\n");
        EXPECT_TRUE(fs::exists(out("view/data/old.js")));
    }
    const auto r = ldblocks({"-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(out("view")));
    EXPECT_FALSE(fs::exists(out("ld.png")));
}

TEST_F(Pipeline, FailingAnalyserLeavesNoReport) {
    auto r = ldblocks({"-o", out(), chr20 + "markers.txt", chr20 + "missing-snps.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("haplotypes: cannot open SNP file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ldblocks: haplotypes failed"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out("report.txt")));
    EXPECT_FALSE(fs::exists(out("report.txt.partial")));
}

TEST_F(Pipeline, NoBlockGivesAReportWithoutRowsInsteadOfStaleBlocks) {
    fs::create_directory(out());
    // A block file of an earlier run must not be taken for this run's blocks.
    testsupport::writeFile(out("blocks.dat"), "SNP1\tindex\tSNP2\tindex\n1000\t0\t1100\t1\n");
    std::string alleles0(100, '0'), alleles1 = std::string(50, '0') + std::string(50, '1');
    testsupport::writeFile(out("markers.txt"), "1000\t100\t1\t" + alleles0 + "\n1100\t100\t51\t" + alleles1 + "\n");
    testsupport::writeFile(out("snps.txt"), "1000\t100\t1\t" + alleles0 + "\n1100\t100\t51\t" + alleles1 + "\n");
    auto r = ldblocks({"-o", out(), out("markers.txt"), out("snps.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(out("blocks.dat")));
    std::string report = readFile(out("report.txt"));
    EXPECT_EQ(report.substr(0, 4), "SNP1");
    EXPECT_NE(report.find("\nnotinblocks/known: 2\t2\n"), std::string::npos) << report;
    EXPECT_NE(r.out.find("ldblocks: 0 blocks"), std::string::npos) << r.out;
}

// Every file of the output folder as it is (name -> content), to show that a refused run touched
// nothing.
std::map<std::string, std::string> folderContents(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(folder))
        contents[entry.path().filename().string()] = entry.is_regular_file() ? readFile(entry.path()) : "(folder)";
    return contents;
}

// An input that is one of the files the run replaces is refused before anything is removed,
// whether it is named as given or reached through another name (a link).
TEST_F(Pipeline, InputsThatTheRunReplacesAreRefused) {
    fs::create_directory(out());
    fs::copy_file(chr20 + "known.txt", out("known.txt"));
    fs::copy_file(chr20 + "markers.txt", out("bounds.txt"));
    fs::copy_file(chr20 + "chr20.vcf.gz", out("ld.png"));
    testsupport::writeFile(out("report.txt"), "report of an earlier run\n");
    testsupport::writeFile(out("linkstat.txt"), "full report of an earlier version\n");
    fs::create_hard_link(out("known.txt"), scratch.file("known-link.txt"));
    fs::create_symlink(out("ld.png"), scratch.file("in.vcf.gz"));
    fs::create_symlink(out("linkstat.txt"), scratch.file("snps-link.txt"));
    const auto before = folderContents(out());
    const std::string vcf = chr20 + "chr20.vcf.gz";
    const std::string replaced = " would be replaced by this run's ";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-k", out("known.txt"), "-o", out(), vcf}, "-k " + out("known.txt") + replaced + out("known.txt")},
        {{"-k", scratch.file("known-link.txt"), "-o", out() + "/", vcf},
         "-k " + scratch.file("known-link.txt") + replaced + out("known.txt")},
        {{"-S", out("report.txt"), "-o", out(), vcf}, "-S " + out("report.txt") + replaced + out("report.txt")},
        {{"-F", out("snps.txt"), "-o", out(), vcf}, "-F " + out("snps.txt") + replaced + out("snps.txt")},
        {{"-g", out("ld.png"), "-o", out(), vcf}, "-g " + out("ld.png") + replaced + out("ld.png")},
        {{"-o", out(), scratch.file("in.vcf.gz")}, "the input " + scratch.file("in.vcf.gz") + replaced + out("ld.png")},
        {{"-o", out(), out("bounds.txt"), chr20 + "snps.txt"},
         "the marker file " + out("bounds.txt") + replaced + out("bounds.txt")},
        {{"-o", out(), chr20 + "markers.txt", scratch.file("snps-link.txt")},
         "the SNP file " + scratch.file("snps-link.txt") + replaced + out("linkstat.txt")},
    };
    for (const auto& [args, message] : cases) {
        const auto r = ldblocks(args);
        EXPECT_EQ(r.status, 1) << message;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "ldblocks: " + message + "; move it or choose another output folder\n");
        EXPECT_EQ(folderContents(out()), before) << message;
    }
    // The text form's known-SNP file and the VCF form's converted files have other names.
    auto r = ldblocks({"-k", out("known.txt"), "-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(out("report.txt")), readFile(sourcePath("tests/pipeline/golden/chr20-known-report.txt")));
}

// A second run into a folder that a run is writing into is refused at once: the lock is held on
// the folder itself, so holding it here stands for the other run.
TEST_F(Pipeline, SecondRunIntoTheSameFolderIsRefused) {
    fs::create_directory(out());
    testsupport::writeFile(out("report.txt"), "report of the run that holds the folder\n");
    testsupport::writeFile(out("markers.txt"), readFile(chr20 + "markers.txt"));
    const auto before = folderContents(out());
    const int folder = ::open(out().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    ASSERT_EQ(::flock(folder, LOCK_EX | LOCK_NB), 0);
    // The lock comes first: an input the run would replace is not even looked at.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-o", out(), chr20 + "markers.txt", chr20 + "snps.txt"},
          {"-o", out(), out("report.txt"), chr20 + "snps.txt"}}) {
        const auto r = ldblocks(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "ldblocks: another run is writing into " + out() + "\n");
        EXPECT_EQ(folderContents(out()), before);
    }
    ::close(folder);
    const auto r = ldblocks({"-o", out(), out("markers.txt"), chr20 + "snps.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(out("report.txt")), readFile(sourcePath("tests/pipeline/golden/chr20-report.txt")));
    // The run's lock ended with it.
    const int again = ::open(out().c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
    ::close(again);
}

TEST_F(Pipeline, UsageOnHelpAndOnWrongArguments) {
    for (const char* option : {"-h", "--help"}) {
        auto help = ldblocks({option});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: ldblocks [-k knownsnpfile] [-o outdir] markerfile snpfile\n", 0), 0u);
        EXPECT_EQ(help.err, "");
    }
    auto version = ldblocks({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "ldblocks " LDTOOLS_VERSION "\n");
    for (auto args : std::vector<std::vector<std::string>>{{},
                                                           {"only-one"},
                                                           {"a", "b", "c"},
                                                           {"-x", "a", "b"},
                                                           {"-k", "", "a", "b"},
                                                           {"-r", "20:1-2", "a", "b"},
                                                           {"-H", "none", "in.vcf.gz"},
                                                           {"-k", "known", "-e", "3", "in.vcf.gz"},
                                                           {"-o"}}) {
        auto r = ldblocks(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Usage: ldblocks"), std::string::npos);
    }
}

TEST(Install, InstalledPipelineAndManPagesWork) {
    ScratchDir prefix;
    auto install = run({CMAKE_COMMAND, "--install", LDTOOLS_BINARY_DIR, "--prefix", prefix.path().string()});
    ASSERT_EQ(install.status, 0) << install.err;
    for (const char* program : {"vcf2markers", "linkstat", "ldtile", "haplotypes", "ldplot", "ldview", "sortblocks", "loadgauge", "ldblocks"}) {
        EXPECT_TRUE(fs::exists(prefix.path() / "bin" / program)) << program;
        EXPECT_TRUE(fs::exists(prefix.path() / "share/man/man1" / (std::string(program) + ".1"))) << program;
    }
    std::string outdir = prefix.file("run");
    auto r = run({(prefix.path() / "bin/ldblocks").string(), "--no-plot", "-o", outdir, chr20 + "markers.txt",
                  chr20 + "snps.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(outdir + "/report.txt"), readFile(sourcePath("tests/pipeline/golden/chr20-report.txt")));
}

}  // namespace
