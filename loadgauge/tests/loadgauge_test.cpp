// Pure parts of loadgauge: command line, slot arithmetic, time-line lines.
#include "loadgauge.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "scratch.hpp"

using namespace loadgauge;

namespace {

Args parse(std::vector<const char*> words) {
    words.insert(words.begin(), "loadgauge");
    return parseargs(static_cast<int>(words.size()), words.data());
}

std::string slotline(int slot, int p) {
    std::string out;
    appendslotline(out, slot, p);
    return out;
}

}  // namespace

TEST(ParseArgs, ReadsCountLikeAtoi) {
    EXPECT_EQ(parse({}).nprocs, 1);
    EXPECT_EQ(parse({"3"}).nprocs, 3);
    EXPECT_EQ(parse({"  7x"}).nprocs, 7);
    EXPECT_EQ(parse({"+255"}).nprocs, 255);
    EXPECT_EQ(parse({"255"}).error, nullptr);
}

TEST(ParseArgs, RefusesBadCounts) {
    const std::string fewer = "loadgauge: less than one process!\n";
    const std::string many = "loadgauge: too many processes (at most 255)!\n";
    for (const char* word : {"0", "-3", "abc", "", "-99999999999"}) {
        const Args args = parse({word});
        ASSERT_NE(args.error, nullptr) << word;
        EXPECT_EQ(args.error, fewer) << word;
    }
    for (const char* word : {"256", "4294967297", "99999999999999999999"}) {
        const Args args = parse({word});
        ASSERT_NE(args.error, nullptr) << word;
        EXPECT_EQ(args.error, many) << word;
    }
    const Args two = parse({"2", "3"});
    ASSERT_NE(two.error, nullptr);
    EXPECT_STREQ(two.error, "Usage: loadgauge [number-of-processes]\n");
}

TEST(SlotOf, CutsTheWindowIntoHundredMicrosecondSlots) {
    const time_t t0 = 1700000000;
    EXPECT_EQ(slotof({t0, 0}, t0), 0);
    EXPECT_EQ(slotof({t0, 99}, t0), 0);
    EXPECT_EQ(slotof({t0, 100}, t0), 1);
    EXPECT_EQ(slotof({t0 + 1, 234567}, t0), 12345);
    EXPECT_EQ(slotof({t0 + 1, 999999}, t0), NSLOTS - 1);
    EXPECT_EQ(slotof({t0 + 2, 0}, t0), NSLOTS);
    EXPECT_EQ(slotof({t0 - 1, 0}, t0), -10000);
    // Truncating division: just under a second early still reads as slot 0.
    EXPECT_EQ(slotof({t0 - 1, 999950}, t0), 0);
}

TEST(SlotOf, TakesTheSecondsDifferenceIn32Bits) {
    const time_t t0 = 5;
    EXPECT_EQ(slotof({t0 + (time_t{1} << 32) + 1, 50}, t0), 10000);
}

TEST(SlotLine, PrintsMillisecondsWithTwoDecimals) {
    EXPECT_EQ(slotline(0, 0), "0.00 0\n");
    EXPECT_EQ(slotline(1, 2), "0.10 2\n");
    EXPECT_EQ(slotline(12345, 1), "1234.50 1\n");
    EXPECT_EQ(slotline(NSLOTS - 1, 255), "1999.90 255\n");
}

TEST(Report, ListsRunningProcessesPerSlotOrZero) {
    std::vector<std::vector<unsigned char>> store(3, std::vector<unsigned char>(NSLOTS, 0));
    store[0][0] = 1;
    store[2][0] = 3;
    store[1][2] = 2;
    store[1][NSLOTS - 1] = 2;
    store[2][NSLOTS - 1] = 3;
    std::vector<unsigned char*> bufs;
    for (auto& b : store) bufs.push_back(b.data());

    testsupport::ScratchDir dir;
    const std::string path = dir.file("timeline.txt");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    report(bufs, fd);
    ASSERT_EQ(close(fd), 0);
    const std::string text = testsupport::readFile(path);

    const std::string head = "0.00 1\n0.00 3\n0.10 0\n0.20 2\n0.30 0\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    const std::string tail = "1999.80 0\n1999.90 2\n1999.90 3\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

    // Every slot appears, in order, across the pieces written to the file.
    std::istringstream lines(text);
    double time = 0;
    int p = 0;
    int count = 0;
    int slot = -1;
    while (lines >> time >> p) {
        const int s = static_cast<int>(time * 10 + 0.5);
        ASSERT_TRUE(s == slot || s == slot + 1) << "line " << count;
        slot = s;
        ++count;
    }
    EXPECT_EQ(slot, NSLOTS - 1);
    EXPECT_EQ(count, NSLOTS + 2);
}
