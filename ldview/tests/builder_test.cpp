// The view's data files read back by the page's rules: the records, the overview pyramid against
// a brute-force fold of the pairs, every input form and thread count giving the same bytes, the
// refusal of bounds off the 0.01 grid, and the folder that is replaced whole or not at all.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>

#include "error.hpp"
#include "scratch.hpp"
#include "view.hpp"
#include "viewfiles.hpp"

namespace {

namespace fs = std::filesystem;
using ldviewtest::Record;
using testsupport::ScratchDir;
using testsupport::writeFile;

ldview::Options optionsFor(const std::string& bounds, const std::string& output) {
    ldview::Options options;
    options.bounds = bounds;
    options.output = output;
    options.width = 400;  // plot width 360: folded levels already for a few hundred SNPs
    options.threads = 2;
    return options;
}

std::string messageOf(const ldview::Options& options) {
    try {
        ldview::buildView(options);
    } catch (const ldtools::Error& error) {
        return error.what();
    }
    return "";
}

// The majority class of every pixel of a map of the SNPs folded to `width` columns, counted pair
// by pair from the records: the rule the overview must follow.
std::vector<std::uint8_t> foldByHand(const std::vector<std::int32_t>& snps, const std::vector<Record>& records,
                                     std::int64_t width, std::int64_t rows) {
    std::map<std::pair<std::int32_t, std::int32_t>, int> classOf;
    for (const Record& r : records) {
        const int c = r.upper > 98 && r.lower > 70 ? 0 : r.upper < 90 ? 1 : 2;
        classOf[{r.first, r.second}] = c;
    }
    const std::int64_t n = static_cast<std::int64_t>(snps.size());
    std::vector<std::array<int, 4>> counts(static_cast<std::size_t>(width * rows), {0, 0, 0, 0});
    for (std::int64_t a = 0; a < n; ++a) {
        for (std::int64_t b = a + 1; b < n && snps[b] - snps[a] < 200000; ++b) {
            const auto found = classOf.find({snps[a], snps[b]});
            const int c = found == classOf.end() ? 3 : found->second;
            const std::int64_t column = (a + b + 1) * width / (2 * n);
            const std::int64_t row = (b - a) * width / (2 * n);
            ++counts.at(static_cast<std::size_t>(row * width + column))[c];
        }
    }
    std::vector<std::uint8_t> classes;
    for (const auto& pixel : counts) {
        int best = 0;
        for (int c = 1; c < 4; ++c)
            if (pixel[c] > pixel[best]) best = c;
        classes.push_back(pixel[best] == 0 ? 0 : static_cast<std::uint8_t>(best + 1));
    }
    return classes;
}

TEST(ViewData, PairTilesAndOverviewDecodeToTheRecords) {
    ScratchDir dir;
    // 4,500 SNPs: two pair tiles, and overview levels 180, 360, 720, 1440 and 2880 columns wide
    // (the plot width 360, and from half of it on).
    const std::vector<Record> records = ldviewtest::randomRecords(4500, 7, 0.1);
    writeFile(dir.file("bounds.txt"), ldviewtest::boundsText(records));
    const ldview::ViewSummary summary = ldview::buildView(optionsFor(dir.file("bounds.txt"), dir.file("view")));
    const ldviewtest::View view = ldviewtest::readView(dir.file("view"));

    std::vector<Record> near;
    for (const Record& r : records)
        if (r.second - r.first < 200000) near.push_back(r);
    ASSERT_LT(near.size(), records.size()) << "the data must hold records 200,000 or more apart";
    EXPECT_EQ(view.records, near);
    EXPECT_GT(view.noRecords, 0);
    EXPECT_EQ(summary.pairs, near.size());
    EXPECT_EQ(view.snps.size(), 4500u);
    EXPECT_EQ(view.tileStarts.size(), 3u);

    ASSERT_EQ(view.levels.size(), 5u);
    for (std::size_t k = 0; k < view.levels.size(); ++k) {
        const auto& level = view.levels[k];
        EXPECT_EQ(level.width, 180 << k);
        EXPECT_EQ(level.classes, foldByHand(view.snps, near, level.width, level.rows)) << "level " << k;
    }
    // The pixels of every class and blank ones all occur, so that the comparison means something.
    std::array<int, 5> seen{};
    for (std::uint8_t c : view.levels.back().classes) ++seen.at(c);
    for (int c = 0; c < 5; ++c) EXPECT_GT(seen[c], 0) << "class " << c;
}

TEST(ViewData, EveryFormAndThreadCountGivesTheSameFiles) {
    ScratchDir dir;
    const std::vector<Record> records = ldviewtest::randomRecords(900, 11, 0.05);
    for (const char* form : {"plain", "gzip", "bgzf", "indexed"}) fs::create_directory(dir.path() / form);
    writeFile(dir.file("plain/bounds"), ldviewtest::boundsText(records));
    ldviewtest::writeGzip(dir.file("gzip/bounds"), ldviewtest::boundsText(records));
    ldviewtest::writeBgzf(dir.file("bgzf/bounds"), ldviewtest::boundsText(records));
    ldviewtest::writeBgzf(dir.file("indexed/bounds"), ldviewtest::indexedText(records, "20"));

    std::map<std::string, std::string> first;
    for (const char* form : {"plain", "gzip", "bgzf", "indexed"}) {
        for (int threads : {1, 3}) {
            ldview::Options options = optionsFor(dir.file(std::string(form) + "/bounds"), dir.file("view"));
            options.threads = threads;
            if (std::string(form) != "indexed") {
                options.chromosome = "20";
                options.chromosomeGiven = true;
            }
            ldview::buildView(options);
            const auto files = ldviewtest::folderFiles(dir.file("view"));
            if (first.empty())
                first = files;
            else
                EXPECT_TRUE(files == first) << form << " with " << threads << " threads";
        }
    }
    EXPECT_NE(first.at("data/meta.js").find("\"chromosome\":\"20\""), std::string::npos);
}

TEST(ViewData, IndexedFormNamesItsChromosome) {
    ScratchDir dir;
    const std::vector<Record> records = ldviewtest::randomRecords(50, 3, 0);
    ldviewtest::writeBgzf(dir.file("b.tsv.gz"), ldviewtest::indexedText(records, "chr7"));
    ldview::Options options = optionsFor(dir.file("b.tsv.gz"), dir.file("view"));
    ldview::buildView(options);
    EXPECT_EQ(ldviewtest::metaField(ldviewtest::readView(dir.file("view")).meta, "chromosome"), "\"chr7\"");

    options.chromosome = "chr8";
    options.chromosomeGiven = true;
    EXPECT_EQ(messageOf(options), "ldview: the records of " + dir.file("b.tsv.gz") + " are of chromosome chr7, not chr8\n");

    // Records of a second chromosome.
    std::string text = ldviewtest::indexedText(records, "chr7");
    text += "chr9\t" + std::to_string(records.back().second + 10) + "\t" + std::to_string(records.back().second + 20) +
            "\t0.5\t0.9\n";
    ldviewtest::writeBgzf(dir.file("two.tsv.gz"), text);
    const std::string message = messageOf(optionsFor(dir.file("two.tsv.gz"), dir.file("view")));
    EXPECT_NE(message.find("chromosome chr9 after chr7: a view holds one chromosome"), std::string::npos) << message;
}

TEST(ViewData, RefusesBoundsOffTheGrid) {
    ScratchDir dir;
    const std::string name = dir.file("b.txt");
    const std::string off = " is not a whole number of hundredths from 0 to 1 (linkstat's 0.01 grid), which a view stores\n";
    const std::pair<const char*, std::string> cases[] = {
        {"1 5 0.355 0.99\n", "ldview: " + name + ": line 1: lower bound 0.355" + off},
        {"1 5 0.35 0.99\n1 9\n0.5 1.01\n", "ldview: " + name + ": line 2: upper bound 1.01" + off},
        {"1 5 -0.01 0.5\n", "ldview: " + name + ": line 1: lower bound -0.01" + off},
        {"1 5 0.5 1e300\n", "ldview: " + name + ": line 1: upper bound 1e300" + off},
        {"1 5 0.5 x\n", "ldview: " + name + ": line 1: expected four numbers: first position, second position, lower bound, upper bound\n"},
        {"1 5 0.5 0.6\n1 4 0.5 0.6\n", "ldview: " + name + ": line 2: records are not in order of position\n"},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(name, text);
        EXPECT_EQ(messageOf(optionsFor(name, dir.file("view"))), expected) << text;
        EXPECT_FALSE(fs::exists(dir.file("view")));
    }
    // Other spellings of values on the grid are read as what they are.
    writeFile(name, "1 5 7e-1 1\n1 9 0.3500000000000000001 +0.990\n");
    ldview::buildView(optionsFor(name, dir.file("view")));
    EXPECT_EQ(ldviewtest::readView(dir.file("view")).records, (std::vector<Record>{{1, 5, 70, 100}, {1, 9, 35, 99}}));
}

TEST(ViewData, BoundsOnTheGridAreReadAsHundredths) {
    for (const auto& [text, hundredths] : std::vector<std::pair<std::string, int>>{
             {"0", 0}, {"1", 100}, {"1.000", 100}, {"0.7", 70}, {"0.70", 70}, {"0.705", -1}, {"0.01", 1},
             {"00.990", 99}, {"1.", 100}, {".5", 50}, {"-0", 0}, {"2", -1}, {"1.01", -1}, {"0.1e1", 100},
             {"nan", -2}, {"0.5.", -2}, {"", -2}, {"0.350000000000000001", 35}, {"0.3500000000000001", -1}}) {
        EXPECT_EQ(ldtools::hundredthsOf(text), hundredths) << text;
    }
}

// ---- the folder ---------------------------------------------------------------------------------

class ViewFolder : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string good = dir.file("good.txt");
    std::string bad = dir.file("bad.txt");
    std::string view = dir.file("view");

    void SetUp() override {
        const std::vector<Record> records = ldviewtest::randomRecords(60, 5, 0);
        writeFile(good, ldviewtest::boundsText(records));
        // A record off the grid at the very end: the run fails after reading everything else.
        writeFile(bad, ldviewtest::boundsText(records) + "999999999 1000000000 0.5 0.505\n");
    }
    // Names in the scratch folder that are neither inputs nor the view.
    std::vector<std::string> strays() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            if (name != "good.txt" && name != "bad.txt" && name != "view") names.push_back(name);
        }
        return names;
    }
};

TEST_F(ViewFolder, ReplacedWholeOnSuccessKeptWholeOnFailure) {
    ldview::buildView(optionsFor(good, view));
    const auto built = ldviewtest::folderFiles(view);
    EXPECT_TRUE(built.count("index.html") && built.count("ldview.js") && built.count("ldviewcore.js") &&
                built.count("ldview.css") && built.count(".ldview") && built.count("data/meta.js"));
    writeFile(view + "/data/extra.js", "from an earlier view");

    EXPECT_NE(messageOf(optionsFor(bad, view)), "");
    auto kept = ldviewtest::folderFiles(view);
    EXPECT_EQ(kept.at("data/extra.js"), "from an earlier view");
    kept.erase("data/extra.js");
    EXPECT_TRUE(kept == built);
    EXPECT_EQ(strays(), std::vector<std::string>{});

    ldview::buildView(optionsFor(good, view));
    EXPECT_TRUE(ldviewtest::folderFiles(view) == built) << "the old view's files must all go";
    EXPECT_EQ(strays(), std::vector<std::string>{});
}

TEST_F(ViewFolder, RefusesToReplaceWhatIsNotAView) {
    fs::create_directory(view);
    writeFile(view + "/notes.txt", "mine");
    EXPECT_EQ(messageOf(optionsFor(good, view)), "ldview: " + view +
                                                     " is a folder that ldview did not write (it has no .ldview); "
                                                     "remove it or choose another name\n");
    EXPECT_EQ(testsupport::readFile(view + "/notes.txt"), "mine");
    fs::remove(view + "/notes.txt");
    ldview::buildView(optionsFor(good, view));  // an empty folder is taken
    EXPECT_TRUE(fs::exists(view + "/index.html"));

    fs::remove_all(view);
    writeFile(view, "a file");
    EXPECT_EQ(messageOf(optionsFor(good, view)), "ldview: " + view + " exists and is not a folder\n");

    fs::remove(view);
    ldview::buildView(optionsFor(good, view));
    const std::string inside = view + "/bounds.txt";
    fs::copy_file(good, inside);
    EXPECT_EQ(messageOf(optionsFor(inside, view)),
              "ldview: the input file " + inside + " lies inside the view folder " + view + ", which is replaced\n");
    EXPECT_EQ(strays(), std::vector<std::string>{});
}

TEST_F(ViewFolder, MissingParentFolderIsOneLine) {
    const std::string message = messageOf(optionsFor(good, dir.file("no/such/view")));
    EXPECT_EQ(message, "ldview: cannot create a folder next to " + dir.file("no/such/view") +
                           ": No such file or directory\n");
}

}  // namespace
