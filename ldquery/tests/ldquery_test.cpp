// ldquery as a user runs it: every answer against a scan of all records by brute force, in each
// stored form of the bounds (text, gzip, indexed with and without its index), and its refusals.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "process.hpp"
#include "scratch.hpp"

using testsupport::readFile;
using testsupport::writeFile;

namespace {

struct Record {
    int first;
    int second;
    std::string lower;
    std::string upper;
};

// SNPs 1,000 to 60,000 apart over about 1.5 Mb, so that a SNP has partners on both sides and
// pairs reach past the 200,000 window; bounds on the 0.01 grid, written with varying digits.
struct Fixture {
    std::vector<int> positions;
    std::vector<Record> records;
    std::vector<std::string> ids;  // of positions
};

Fixture makeFixture(unsigned seed) {
    Fixture f;
    std::mt19937 random(seed);
    int position = 1000;
    for (int k = 0; k < 60; ++k) {
        position += 1000 + static_cast<int>(random() % 60000);
        f.positions.push_back(position);
        // Every tenth SNP shares the ID of the one before it; every seventh has no ID of its own.
        if (k % 10 == 9)
            f.ids.push_back(f.ids.back());
        else if (k % 7 == 3)
            f.ids.push_back("20:" + std::to_string(position) + ":A:G");
        else
            f.ids.push_back("rs" + std::to_string(100 + k));
    }
    const char* formats[] = {"%.2f", "%.3f", "%g"};
    for (std::size_t a = 0; a < f.positions.size(); ++a) {
        for (std::size_t b = a + 1; b < f.positions.size() && f.positions[b] - f.positions[a] < 200000; ++b) {
            if (random() % 9 == 0) continue;  // a pair without a record
            const int lower = static_cast<int>(random() % 101);
            const int upper = lower + static_cast<int>(random() % (101 - lower));
            char low[16];
            char up[16];
            const char* format = formats[random() % 3];
            std::snprintf(low, sizeof low, format, lower / 100.0);
            std::snprintf(up, sizeof up, format, upper / 100.0);
            f.records.push_back({f.positions[a], f.positions[b], low, up});
        }
    }
    return f;
}

std::string className(double lower, double upper) {
    if (upper > 0.98 && lower > 0.7) return "strong";
    return upper < 0.9 ? "recombination" : "uninformative";
}

std::string idOf(const Fixture& f, int position) {
    for (std::size_t k = 0; k < f.positions.size(); ++k)
        if (f.positions[k] == position) return f.ids[k];
    return ".";
}

// The rows for one SNP by a scan of every record.
std::string bruteForce(const Fixture& f, const std::string& name, int position, bool withIds,
                       const std::string& onlyClass = "", double minLower = -1) {
    std::string rows;
    std::map<int, const Record*> partners;
    for (const Record& r : f.records)
        if (r.first == position || r.second == position) partners[r.first == position ? r.second : r.first] = &r;
    for (const auto& [partner, r] : partners) {
        const double lower = std::stod(r->lower);
        const std::string pairClass = className(lower, std::stod(r->upper));
        if (!onlyClass.empty() && pairClass != onlyClass) continue;
        if (lower < minLower) continue;
        rows += name + "\t" + std::to_string(position) + "\t" + std::to_string(partner) + "\t" +
                (withIds ? idOf(f, partner) : ".") + "\t" + r->lower + "\t" + r->upper + "\t" + pairClass + "\n";
    }
    return rows;
}

const std::string kHeader = "snp\tsnp_pos\tpos\tid\tlower\tupper\tclass\n";

testsupport::RunResult query(std::vector<std::string> args) {
    args.insert(args.begin(), LDQUERY_BIN);
    return testsupport::run(args);
}

// The fixture in every stored form, with its ID file.
struct Stored {
    testsupport::ScratchDir dir;
    std::vector<std::string> forms;
    std::string ids;
};

void writeForms(const Fixture& f, Stored& s) {
    std::string text;
    for (const Record& r : f.records)
        text += std::to_string(r.first) + "\t" + std::to_string(r.second) + "\t\t" + r.lower + "\t" + r.upper + "\n";
    writeFile(s.dir.file("bounds.txt"), text);
    ASSERT_EQ(std::system(("gzip -c " + s.dir.file("bounds.txt") + " > " + s.dir.file("bounds.txt.gz")).c_str()), 0);
    const auto packed = testsupport::run({PACKBOUNDS_BIN, "-c", "20", "-o", s.dir.file("indexed.tsv.gz"),
                                          s.dir.file("bounds.txt")});
    ASSERT_EQ(packed.status, 0) << packed.err;
    std::filesystem::copy_file(s.dir.file("indexed.tsv.gz"), s.dir.file("unindexed.tsv.gz"));
    s.forms = {s.dir.file("bounds.txt"), s.dir.file("bounds.txt.gz"), s.dir.file("indexed.tsv.gz"),
               s.dir.file("unindexed.tsv.gz")};
    std::string idText = "pos\tid\tref\talt\n";
    for (std::size_t k = 0; k < f.positions.size(); ++k)
        idText += std::to_string(f.positions[k]) + "\t" + f.ids[k] + "\tA\tG\n";
    s.ids = s.dir.file("ids.txt");
    writeFile(s.ids, idText);
}

TEST(Ldquery, EveryAnswerEqualsAScanOfAllRecordsInEveryForm) {
    for (const unsigned seed : {1u, 2u}) {
        const Fixture f = makeFixture(seed);
        Stored s;
        writeForms(f, s);
        for (const std::string& bounds : s.forms) {
            SCOPED_TRACE(bounds + " seed " + std::to_string(seed));
            // Each SNP by position, without IDs: one call each, and all in one call.
            std::string all = kHeader;
            std::vector<std::string> args = {"-d", bounds};
            for (const int position : f.positions) {
                const std::string rows = bruteForce(f, std::to_string(position), position, false);
                if (rows.empty()) continue;
                const auto one = query({"-d", bounds, std::to_string(position)});
                ASSERT_EQ(one.status, 0) << one.err;
                EXPECT_EQ(one.out, kHeader + rows) << position;
                all += rows;
                args.push_back(std::to_string(position));
            }
            const auto many = query(args);
            EXPECT_EQ(many.out, all);
            // By ID: a duplicated ID lists both of its SNPs in turn.
            for (std::size_t k = 0; k < f.positions.size(); k += 3) {
                std::string expected = kHeader;
                for (std::size_t j = 0; j < f.positions.size(); ++j)
                    if (f.ids[j] == f.ids[k]) expected += bruteForce(f, f.ids[k], f.positions[j], true);
                const auto byId = query({"-d", bounds, "-i", s.ids, f.ids[k]});
                ASSERT_EQ(byId.status, 0) << byId.err;
                EXPECT_EQ(byId.out, expected) << f.ids[k];
            }
            // The filters.
            const int middle = f.positions[30];
            for (const std::string pairClass : {"strong", "recombination", "uninformative"}) {
                const auto filtered = query({"-d", bounds, "-i", s.ids, "-C", pairClass, std::to_string(middle)});
                EXPECT_EQ(filtered.out, kHeader + bruteForce(f, std::to_string(middle), middle, true, pairClass));
            }
            const auto lower = query({"-d", bounds, "-l", "0.5", std::to_string(middle)});
            EXPECT_EQ(lower.out, kHeader + bruteForce(f, std::to_string(middle), middle, false, "", 0.5));
        }
    }
}

TEST(Ldquery, BlockColumnsNameTheSnpsBlockAndWhetherThePartnerShareIt) {
    const Fixture f = makeFixture(4);
    Stored s;
    writeForms(f, s);
    const int a = f.positions[20];
    const int b = f.positions[24];
    // Blocks in search order (not by position), as ldtile writes them.
    writeFile(s.dir.file("blocks.dat"), "SNP1\tindex\tSNP2\tindex\n" + std::to_string(a) + "\t20\t" +
                                            std::to_string(b) + "\t24\n" + std::to_string(f.positions[2]) + "\t2\t" +
                                            std::to_string(f.positions[5]) + "\t5\n");
    const int snp = f.positions[22];
    const auto result = query({"-d", s.forms[2], "-b", s.dir.file("blocks.dat"), std::to_string(snp)});
    ASSERT_EQ(result.status, 0) << result.err;
    std::string expected = "snp\tsnp_pos\tpos\tid\tlower\tupper\tclass\tblock\tsame_block\n";
    std::size_t start = 0;
    const std::string rows = bruteForce(f, std::to_string(snp), snp, false);
    while (start < rows.size()) {
        const std::size_t end = rows.find('\n', start);
        const std::string row = rows.substr(start, end - start);
        const int partner = std::stoi(row.substr(row.find('\t', row.find('\t') + 1) + 1));
        expected += row + "\t" + std::to_string(a) + "-" + std::to_string(b) +
                    (partner >= a && partner <= b ? "\tyes\n" : "\tno\n");
        start = end + 1;
    }
    EXPECT_EQ(result.out, expected);
    EXPECT_NE(result.out.find("\tyes\n"), std::string::npos);
    EXPECT_NE(result.out.find("\tno\n"), std::string::npos);
    // A SNP outside every block.
    const auto outside = query({"-d", s.forms[0], "-b", s.dir.file("blocks.dat"), std::to_string(f.positions[40])});
    EXPECT_NE(outside.out.find("\t-\tno\n"), std::string::npos);
}

TEST(Ldquery, RefusalsNameTheProblemAndWriteNothing) {
    const Fixture f = makeFixture(5);
    Stored s;
    writeForms(f, s);
    const std::string bounds = s.forms[2];
    struct Case {
        std::vector<std::string> args;
        std::string message;
        int status;
    };
    writeFile(s.dir.file("bad.ids"), "100\trs1\tA\tG\n200\trs2\tA\n");
    writeFile(s.dir.file("twice.ids"), "100\trs1\tA\tG\n100\trs2\tA\tC\n");
    const std::string absent = std::to_string(f.positions[10] + 1);
    const std::vector<Case> cases = {
        {{"-d", bounds, "-i", s.ids, "rs999999"}, "ldquery: no SNP of " + s.ids + " has the ID rs999999\n", 1},
        {{"-d", bounds, "-i", s.ids, absent}, "ldquery: position " + absent + " is not a SNP of " + s.ids + "\n", 1},
        {{"-d", bounds, absent}, "ldquery: position " + absent + " is in no pair of " + bounds + "\n", 1},
        {{"-d", s.forms[0], absent}, "ldquery: position " + absent + " is in no pair of " + s.forms[0] + "\n", 1},
        {{"-d", bounds, "rs101"}, "ldquery: the SNP rs101 is not a position; IDs need an ID file (-i)\n", 1},
        {{"-d", bounds, "-i", s.dir.file("bad.ids"), "rs1"},
         "ldquery: " + s.dir.file("bad.ids") + ": line 2: expected four fields: position, ID, reference allele, "
                                               "alternate allele\n",
         1},
        {{"-d", bounds, "-i", s.dir.file("twice.ids"), "rs1"},
         "ldquery: " + s.dir.file("twice.ids") + ": line 2: position 100 is named twice\n", 1},
        {{"-d", bounds, "-i", s.dir.file("none.ids"), "rs1"},
         "ldquery: cannot open ID file " + s.dir.file("none.ids") + ": No such file or directory\n", 1},
        {{"-d", s.dir.file("none.gz"), "100"},
         "ldquery: cannot open bounds file " + s.dir.file("none.gz") + ": No such file or directory\n", 1},
        {{"-d", bounds, "-C", "weak", "100"},
         "ldquery: -C takes strong, recombination or uninformative, not 'weak' (see ldquery -h)\n", 1},
        {{"-d", bounds}, "ldquery: no SNP given (see ldquery -h)\n", 1},
        {{"100"}, "ldquery: -d BOUNDS is required (see ldquery -h)\n", 1},
    };
    for (const Case& c : cases) {
        const auto result = query(c.args);
        EXPECT_EQ(result.err, c.message);
        EXPECT_EQ(result.status, c.status) << c.message;
        EXPECT_EQ(result.out, "") << c.message;
    }
}

TEST(Ldquery, HelpAndVersion) {
    const auto help = query({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: ldquery -d BOUNDS", 0), 0u);
    const auto version = query({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("ldquery ", 0), 0u);
    const auto none = query({});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, help.out);
}

}  // namespace
