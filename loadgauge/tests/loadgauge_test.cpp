// Pure parts of loadgauge: command line, slot arithmetic, the time line.
#include "loadgauge.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "scratch.hpp"

using namespace loadgauge;

// The count read from one argument, or the message that refuses it.
static std::string reading(const char* word) {
    const char* argv[] = {"loadgauge", word};
    const Args args = parseArgs(2, argv);
    return args.error != nullptr ? args.error : std::to_string(args.nprocs);
}

TEST(ParseArgs, ReadsTheCountLikeAtoiWithoutWrapping) {
    const std::string many = "loadgauge: too many processes (at most 255)!\n";
    EXPECT_EQ(reading("  7x"), "7");
    EXPECT_EQ(reading("+255"), "255");
    EXPECT_EQ(reading(""), "loadgauge: less than one process!\n");
    EXPECT_EQ(reading("4294967297"), many);  // 2^32 + 1 must not read as 1
    EXPECT_EQ(reading("99999999999999999999"), many);
    EXPECT_EQ(reading("-99999999999"), "loadgauge: less than one process!\n");
}

TEST(SlotOf, CutsTheWindowIntoHundredMicrosecondSlots) {
    const time_t t0 = 1700000000;
    EXPECT_EQ(slotof({t0, 99}, t0), 0);
    EXPECT_EQ(slotof({t0, 100}, t0), 1);
    EXPECT_EQ(slotof({t0 + 1, 234567}, t0), 12345);
    EXPECT_EQ(slotof({t0 + 1, 999999}, t0), NSLOTS - 1);
    EXPECT_EQ(slotof({t0 + 2, 0}, t0), NSLOTS);
    EXPECT_EQ(slotof({t0 - 1, 0}, t0), -10000);
    EXPECT_EQ(slotof({t0 - 1, 999950}, t0), 0);  // truncating division
    // The difference of seconds is taken in 32 bits.
    EXPECT_EQ(slotof({5 + (time_t{1} << 32) + 1, 50}, 5), 10000);
}

TEST(Report, ListsRunningProcessesPerSlotOrZero) {
    std::string line;
    appendSlotLine(line, 12345, 1);
    EXPECT_EQ(line, "1234.50 1\n");

    std::vector<std::vector<unsigned char>> store(3, std::vector<unsigned char>(NSLOTS, 0));
    store[0][0] = 1;
    store[2][0] = 3;
    store[1][2] = 2;
    store[1][NSLOTS - 1] = 2;
    store[2][NSLOTS - 1] = 255;  // any non-zero mark counts
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
    const std::string tail = "1999.80 0\n1999.90 2\n1999.90 3\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // Larger than one piece written to the descriptor: nothing lost or repeated.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), NSLOTS + 2);
    EXPECT_NE(text.find("\n1000.00 0\n1000.10 0\n"), std::string::npos);
}
