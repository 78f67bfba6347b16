// -D writes the four-number bounds records of the -P report and nothing else: exactly what
// `awk 'NF == 4'` keeps of the -P report, for any input, mode and other options, also when the run
// fails half way (the chr20 example: chr20_test).

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "inprocess.hpp"
#include "process.hpp"
#include "scratch.hpp"

namespace {

using namespace linkstat;
using namespace linkstat::testkit;
using testsupport::ScratchDir;

std::string recordsOf(const ScratchDir& dir, const std::string& report) {
    testsupport::writeFile(dir.file("report.txt"), report);
    const auto r = testsupport::run({AWK_BIN, "NF == 4", dir.file("report.txt")});
    EXPECT_EQ(r.status, 0);
    return r.out;
}

TEST(Records, AreTheFourFieldLinesOfThePositionReport) {
    ScratchDir dir;
    std::mt19937 rng(41);
    const std::vector<std::vector<std::string>> optionSets = {
        {}, {"-K", "-S"}, {"-A", "-H", "-B"}, {"-E", "-H", "-S"}, {"-A", "-S", "-P"}, {"-K", "-B", "-H", "-S"}};
    long records = 0;
    for (int f = 0; f < 16; ++f) {
        std::string content = randomMarkers(rng);
        if (f % 4 == 3) content += "\n1 2 3 ACA\n2 2 3 GTG\n4 2 3 AC\n";  // a set that fails
        const std::string input = dir.file("markers.txt");
        testsupport::writeFile(input, content);
        for (std::vector<std::string> options : optionSets) {
            options.push_back("-I" + input);
            options.push_back("-RN");
            std::vector<std::string> positions = options, onlyRecords = options;
            positions.push_back("-P");
            onlyRecords.push_back("-D");
            const Captured full = runCaptured(positions);
            const Captured bounds = runCaptured(onlyRecords);
            const std::string expected = recordsOf(dir, full.report);
            ASSERT_EQ(bounds.report, expected) << "file " << f << " options " << options[0];
            ASSERT_EQ(bounds.error, full.error);
            ASSERT_EQ(bounds.error.empty(), f % 4 != 3);
            records += std::count(expected.begin(), expected.end(), '\n');
        }
    }
    EXPECT_GT(records, 5000);
}

}  // namespace
