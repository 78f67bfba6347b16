#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "error.hpp"
#include "scratch.hpp"
#include "writer.hpp"

namespace {

using ldtools::BufferedWriter;
using ldtools::SystemError;

TEST(BufferedWriter, LongFormattedTextAndSmallBuffersLoseNothing) {
    testsupport::ScratchDir dir;
    const std::string name = dir.file("out");
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    std::string expected;
    {
        BufferedWriter out(fd, 16);
        const std::string longWord(2000, 'x');
        for (int i = 0; i < 300; ++i) {
            out.printf("%d\t%s\t%.3f\n", i, i % 100 == 0 ? longWord.c_str() : "w", i / 7.0);
            char line[64];
            std::snprintf(line, sizeof line, "\t%.3f\n", i / 7.0);
            expected += std::to_string(i) + "\t" + (i % 100 == 0 ? longWord : "w") + line;
        }
        out.put('!');
        expected += '!';
        out.flush();
    }
    ::close(fd);
    EXPECT_EQ(testsupport::readFile(name), expected);
}

TEST(BufferedWriter, AFullDeviceFailsTheFlushAndEveryLaterOne) {
    const int fd = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    BufferedWriter out(fd, 64);
    out.put("some text\n");
    try {
        out.flush();
        FAIL() << "a write to /dev/full succeeded";
    } catch (const SystemError& error) {
        EXPECT_EQ(error.code(), ENOSPC);
        EXPECT_EQ(error.operation(), "write");
    }
    EXPECT_TRUE(out.failed());
    EXPECT_THROW(out.flush(), SystemError);
    ::close(fd);
}

}  // namespace
