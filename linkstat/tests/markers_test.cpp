// The marker reader: allele strings packed while they are read must give exactly what Clean gives, at
// any place where the input's buffer cuts a line; the line and field limits and the order in which
// the data errors of a marker set fire.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "inprocess.hpp"
#include "markers.hpp"
#include "pairs.hpp"
#include "report.hpp"
#include "settings.hpp"
#include "scratch.hpp"

namespace {

using namespace linkstat;
using namespace linkstat::testkit;
using testsupport::ScratchDir;

std::string randomAlleles(std::mt19937& rng) {
    const std::string alphabet = "ACGT01-N?";
    std::uniform_int_distribution<int> length(1, 300);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    // mostly two or three letters, so that most strings are valid and some hold a third allele
    std::string letters;
    for (int k = 0; k < 3; ++k) letters += alphabet[pick(rng)];
    std::uniform_int_distribution<int> choose(0, 19);
    std::string s;
    for (int n = length(rng); n > 0; --n) {
        const int c = choose(rng);
        s += c < 10 ? letters[0] : c < 18 ? letters[1] : c == 18 ? letters[2] : alphabet[pick(rng)];
    }
    return s;
}

// Reads the strings with every packing kernel, the input's buffer cutting the lines at many places: the
// packed planes must decode to what Clean makes of each string, and a third allele must give Clean's
// message.
void expectPackedLikeClean(const std::vector<std::string>& strings, const std::string& missing) {
    ScratchDir dir;
    std::string content;
    for (std::size_t m = 0; m < strings.size(); ++m)
        content += std::to_string(m) + " 2 3\t" + strings[m] + (m % 3 ? " extra field\n" : "\n");
    const std::string path = dir.file("alleles.txt");
    testsupport::writeFile(path, content);
    for (const auto kernel : {PackKernel::portable, PackKernel::avx2, PackKernel::avx512}) {
        if (!kernelRuns(kernel)) continue;
        for (const std::size_t bufferSize : {std::size_t{1}, std::size_t{5}, std::size_t{64}, std::size_t{200},
                                             std::size_t{1} << 16}) {
            ldtools::FileReader input(path, bufferSize);
            MarkerReader reader(input, path, missing, kMaxLineLength, kMaxFieldLength, kernel);
            MarkerSet set;
            MarkerLine line;
            for (const std::string& original : strings) {
                ASSERT_TRUE(reader.next(line));
                ASSERT_EQ(line.fields, 4);
                ASSERT_EQ(line.alleleCount, original.size());
                std::string cleaned = original;
                try {
                    Clean(cleaned.data(), static_cast<int>(cleaned.size()), missing.data(), static_cast<int>(missing.size()));
                } catch (const Failure& failure) {
                    ASSERT_TRUE(line.thirdAllele) << original;
                    EXPECT_EQ(moreThanTwoAlleles(*line.thirdAllele).what(), std::string(failure.what())) << original;
                    continue;
                }
                ASSERT_FALSE(line.thirdAllele) << original;
                set.clear();
                set.add(1, 1, line, path);
                std::vector<char> decoded(original.size() + 1);
                set.alleles().decode(0, static_cast<int>(original.size()), decoded.data());
                ASSERT_EQ(std::string(decoded.data()), cleaned)
                    << original << " buffer " << bufferSize << " kernel " << kernelName(kernel);
                // the places after the last chromosome are missing, so no individual or chromosome is counted there
                const int words = set.alleles().words();
                for (std::size_t k = original.size(); k < 128 * static_cast<std::size_t>(words); ++k)
                    ASSERT_EQ(codeAt(set.alleles()[0], words, k), '-') << original.size() << " " << k;
            }
            EXPECT_FALSE(reader.next(line));
        }
    }
}

TEST(PackedAlleles, FollowCleanAtEveryBufferCut) {
    std::mt19937 rng(31);
    for (const std::string missing : {"", "N", "N?", "A"}) {
        std::vector<std::string> strings;
        for (int m = 0; m < 150; ++m) strings.push_back(randomAlleles(rng));
        expectPackedLikeClean(strings, missing);
    }
}

// Strings of whole and partial blocks of 128 chromosomes, mostly of two alleles: blocks that go at once,
// and blocks where the second allele first appears, a missing allele or a third allele interrupts them.
TEST(PackedAlleles, LongStringsFollowCleanWithEveryKernel) {
    std::mt19937 rng(32);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (const std::string missing : {"", "N"}) {
        std::vector<std::string> strings;
        for (int m = 0; m < 80; ++m) {
            const std::string letters = std::vector<std::string>{"AG", "10", "01", "CT", "GA"}[static_cast<std::size_t>(m % 5)];
            const int length = std::vector<int>{128, 129, 255, 256, 383, 1000, 2047, 5000}[static_cast<std::size_t>(m % 8)];
            std::string s;
            for (int k = 0; k < length; ++k) s += letters[static_cast<std::size_t>(uniform(0, 3) == 0)];
            switch (m % 6) {
                case 1: std::fill(s.begin(), s.begin() + uniform(0, length - 1), letters[0]); break;  // second allele late
                case 2: s[static_cast<std::size_t>(uniform(0, length - 1))] = '-'; break;
                case 3: s[static_cast<std::size_t>(uniform(0, length - 1))] = missing.empty() ? 'X' : 'N'; break;
                case 4: std::fill(s.begin(), s.end(), letters[1]); break;  // one allele only
                default: break;
            }
            strings.push_back(s);
        }
        expectPackedLikeClean(strings, missing);
    }
}

// The marker sets of a file and how its reading ends ("ok", or the error's kind, line and quoted
// string), read through a buffer of every size from 1 byte up, with lines of at most 40 characters
// and fields of at most 12.
std::string setsOf(const std::string& content, const std::string& missing = "N") {
    ScratchDir dir;
    const std::string path = dir.file("m.txt");
    testsupport::writeFile(path, content);
    std::string first;
    for (std::size_t bufferSize = 1; bufferSize <= content.size() + 1; ++bufferSize) {
        ldtools::FileReader input(path, bufferSize);
        MarkerReader reader(input, path, missing, 40, 12);
        MarkerSet set;
        std::string seen;
        try {
            while (reader.nextSet(set)) {
                seen += std::to_string(set.nMarkers()) + "x" + std::to_string(set.nChromosomes());
                for (int m = 0; m < set.nMarkers(); ++m) {
                    std::vector<char> codes(static_cast<std::size_t>(set.nChromosomes()) + 1);
                    set.alleles().decode(m, set.nChromosomes(), codes.data());
                    seen += " " + std::to_string(static_cast<int>(set.positions()[m])) + ":" + codes.data();
                }
                seen += " | ";
            }
            seen += "ok";
        } catch (const MarkerError& error) {
            // a third allele is reported without a line
            seen += "error " + std::to_string(static_cast<int>(error.kind)) +
                    (error.kind == MarkerError::Kind::moreThanTwoAlleles ? " " + error.alleles : "@" + std::to_string(error.line));
        }
        if (first.empty()) first = seen;
        EXPECT_EQ(seen, first) << "buffer " << bufferSize;
    }
    return first;
}

// Lines of fewer than four fields end a set, and the end of the file ends the last one, so a file
// ending with such a line has an empty last set; CR, NUL and a missing last line break change no field.
TEST(MarkerSets, EndWhereTheirLinesSay) {
    EXPECT_EQ(setsOf(""), "0x0 | ok");
    EXPECT_EQ(setsOf("1 2 3"), "0x0 | 0x0 | ok");
    EXPECT_EQ(setsOf("10 2 3 AC\n\n\n"), "1x2 10:01 | 0x0 | 0x0 | ok");
    EXPECT_EQ(setsOf("10 2 3 AACG extra\n20 2 3 GGAA"), "error 5 AACG");
    EXPECT_EQ(setsOf("10 2 3 AACC\r\n20\t2\v3\fCA-N\r\n \t\r\n30 2 3 1A"), "2x4 10:0011 20:01-- | 1x2 30:10 | ok");
    EXPECT_EQ(setsOf(std::string("10 2 3 AC\0GG\n\0 20 2 3 CA\n2\0 0 2 3 AA\n30 2 3 GT\0", 48)),
              "1x2 10:01 | 0x0 | 1x2 30:01 | ok");
}

// A line's errors fire as the line is read, with its line number; a third allele once its set is
// complete, quoting the set's first such string with its missing characters shown as "-".
TEST(MarkerSets, FailWithTheirLines) {
    const std::string set = "10 2 3 AACC\n20 2 3 ACAC\n\n";
    EXPECT_EQ(setsOf(set + "1 2 3 " + std::string(35, 'A') + "\n"), "2x4 10:0011 20:0101 | error 0@4");
    EXPECT_EQ(setsOf(set + "1 2 3 " + std::string(34, 'A') + "\n"), "2x4 10:0011 20:0101 | error 1@4");
    EXPECT_EQ(setsOf(set + std::string("1 2 3 AC\0", 10) + std::string(31, 'x') + "\n"), "2x4 10:0011 20:0101 | error 0@4");
    EXPECT_EQ(setsOf(set + "1 2 3 AC " + std::string(13, 'x') + "\n"), "2x4 10:0011 20:0101 | 1x2 1:01 | ok");
    EXPECT_EQ(setsOf(set + "1 2 " + std::string(13, '3') + " AC\n"), "2x4 10:0011 20:0101 | error 1@4");
    EXPECT_EQ(setsOf(set + "1 2 3 AAAA\n2 2 3 AAA\n"), "2x4 10:0011 20:0101 | error 2@2");
    EXPECT_EQ(setsOf(set + "1 2 3 AC\nnan 2 3 AC\n"), "2x4 10:0011 20:0101 | error 3@5");
    EXPECT_EQ(setsOf(set + "2 2 3 AC\n1.5 2 3 AC\n"), "2x4 10:0011 20:0101 | error 4@5");
    EXPECT_EQ(setsOf(set + "1 2 3 ANCG\n2 2 3 AGTT\n"), "2x4 10:0011 20:0101 | error 5 A-CG");
}

class Limits : public testing::Test {
protected:
    // Runs on a marker file with lines of at most 40 characters and fields of at most 12.
    Captured run(const std::string& content, bool limited = true) {
        testsupport::writeFile(dir.file("m.txt"), content);
        Tuning tuning;
        if (limited) {
            tuning.lineLimit = 40;
            tuning.fieldLimit = 12;
        }
        return runCaptured({"-I" + dir.file("m.txt"), "-P"}, tuning);
    }
    std::string error(int line, const std::string& reason) {
        return "\n\nError in File " + dir.file("m.txt") + " at Line " + std::to_string(line) + "\n" + reason +
               "\nExiting Now....\n\n\n";
    }
    ScratchDir dir;
};

TEST_F(Limits, LinesUpToTheLimitAreRead) {
    const std::string a = "100 2 3 AAAAACCCCC", b = "150 2 3 GGGGGTTTTT";
    const std::string line40 = a + std::string(40 - a.size(), ' ');
    const std::string fits = line40 + "\n" + b + std::string(40 - b.size(), '\t');  // the last line has no break
    const Captured r = run(fits);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.report, run(fits, false).report);
    EXPECT_EQ(std::count(r.report.begin(), r.report.end(), '\n'), 1);
    EXPECT_EQ(run(line40 + " \n" + b + "\n").error, error(1, "Line Too Long"));
    EXPECT_EQ(run(a + "\n" + b + std::string(41 - b.size(), ' ')).error, error(2, "Line Too Long"));
    // the bytes after a NUL end no field but still count
    EXPECT_EQ(run(a + "\n" + b + std::string(1, '\0') + std::string(40 - b.size(), 'x') + "\n").error,
              error(2, "Line Too Long"));
}

TEST_F(Limits, FieldsUpToTheLimitAreRead) {
    EXPECT_EQ(run("000000000100 2 3 AC\n150 2 3 GT\n").error, "");
    EXPECT_EQ(run("100 2 3 AC\n\n0000000000150 2 3 GT\n").error, error(3, "Field Too Long"));
    EXPECT_EQ(run("100 2 3 ACACACACACACA\n").error, error(1, "Field Too Long"));
    EXPECT_EQ(run("1 2 3\n4 5 0000000000006\n").error, error(2, "Field Too Long"));
    // only the first four fields are read
    EXPECT_EQ(run("100 2 3 AC 5555555555555\n").error, "");
    // a line too long is refused as such, also when one of its fields is too long as well
    EXPECT_EQ(run("100 2 3 ACACACACACACACACACACACACACACACACACACAC\n").error, error(1, "Line Too Long"));
}

// The errors of one marker set: read errors of a line fire at once, the third allele of the set's first
// such marker only when the set is complete.
TEST(SetErrors, FireInTheirOrder) {
    ScratchDir dir;
    const std::string path = dir.file("m.txt");
    const std::string good = "10 2 3 AACC\n20 2 3 AACC\n\n";
    auto run = [&](const std::string& content) {
        testsupport::writeFile(path, content);
        return runCaptured({"-I" + path, "-P", "-RN"});
    };
    auto inFile = [&](int line, const std::string& reason) {
        return "\n\nError in File " + path + " at Line " + std::to_string(line) + "\n" + reason + "\nExiting Now....\n\n\n";
    };
    const std::string written = run(good).report;
    ASSERT_EQ(std::count(written.begin(), written.end(), '\n'), 1);
    const std::string third = "\n\nMore Than Two Alleles AC-G\nExiting Now....\n\n\n";
    Captured r = run(good + "1 2 3 AAAA\n2 2 3 ACNG\n3 2 3 ACTT\n4 2 3 AC\n");
    EXPECT_EQ(r.error, inFile(4, "Wrong number of chromosomes"));
    EXPECT_EQ(r.report, written);
    r = run(good + "1 2 3 AAAA\n2 2 3 ACNG\n3 2 3 ACTT\n4 2 3 ACGT\n\n5 2 3 AAAA\n");
    EXPECT_EQ(r.error, third);  // the first marker with a third allele is quoted, after -R recoding
    EXPECT_EQ(r.report, written);
    EXPECT_EQ(run(good + "1 2 3 AAAA\n2 2 3 ACNG\n-3 2 3 ACTT\n").error, inFile(6, "Bad Position"));
    EXPECT_EQ(run(good + "1 2 3 AAAA\n2 2 3 ACNG\n").error, third);
}

}  // namespace
