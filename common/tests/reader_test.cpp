#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "error.hpp"
#include "reader.hpp"
#include "scratch.hpp"

namespace {

using ldtools::FileReader;
using ldtools::SystemError;

std::string readAllBytes(FileReader& in) {
    std::string text;
    for (int c; (c = in.get()) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

TEST(FileReader, OpenErrorsCarryTheSystemsCode) {
    testsupport::ScratchDir dir;
    try {
        FileReader in(dir.file("missing"));
        FAIL() << "a missing file was opened";
    } catch (const SystemError& error) {
        EXPECT_EQ(error.code(), ENOENT);
        EXPECT_EQ(error.operation(), "open");
    }
    try {
        FileReader in(dir.path().string());
        FAIL() << "a folder was opened";
    } catch (const SystemError& error) {
        EXPECT_EQ(error.code(), EISDIR);
    }
}

TEST(FileReader, BytesAndWindowSeeTheWholeFileAcrossSmallBuffers) {
    testsupport::ScratchDir dir;
    std::string text;
    for (int i = 0; i < 1000; ++i) text += std::to_string(i * 7919) + (i % 13 == 0 ? "\n" : " ");
    testsupport::writeFile(dir.file("f"), text);
    {
        FileReader in(dir.file("f"), 7);
        EXPECT_EQ(in.size(), text.size());
        EXPECT_EQ(readAllBytes(in), text);
        EXPECT_TRUE(in.atEnd());
    }
    {
        // The window keeps unread bytes while more are appended; the buffer grows when they fill it.
        FileReader in(dir.file("f"), 5);
        std::string seen;
        while (in.fill() || in.available() > 0) {
            if (in.available() >= 3 || in.atEnd()) {
                std::size_t take = in.atEnd() ? in.available() : in.available() - 2;
                seen.append(in.data(), take);
                in.consume(take);
            }
            if (in.atEnd() && in.available() == 0) break;
        }
        EXPECT_EQ(seen, text);
    }
}

TEST(FileReader, ANamedPipeIsOpenedOnceAndReadToItsEnd) {
    testsupport::ScratchDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The writer opens the pipe once; a reader that opened it twice would wait for ever on the
    // second open, so the test would time out instead of passing.
    std::thread writer([&] {
        FILE* out = std::fopen(fifo.c_str(), "w");
        if (out) {
            std::fputs("1 2 0.5 0.9\n", out);
            std::fclose(out);
        }
    });
    FileReader in(fifo);
    EXPECT_EQ(in.size(), 0u);
    EXPECT_EQ(readAllBytes(in), "1 2 0.5 0.9\n");
    writer.join();
}

}  // namespace
