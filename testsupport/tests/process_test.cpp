#include "process.hpp"
#include "scratch.hpp"

#include <gtest/gtest.h>

using testsupport::run;

TEST(Process, CapturesBothStreamsAndExitStatus) {
    auto r = run({"/bin/sh", "-c", "cat; echo to-err >&2; exit 3"}, {.input = "to-out\n", .workdir = "", .stdoutPath = ""});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "to-out\n");
    EXPECT_EQ(r.err, "to-err\n");
}

TEST(Process, ReportsDeathBySignal) {
    auto r = run({"/bin/sh", "-c", "kill -TERM $$"});
    EXPECT_EQ(r.status, 128 + 15);
}

TEST(Process, LargeOutputOnBothStreamsDoesNotDeadlock) {
    auto r = run({"/bin/sh", "-c", "i=0; while [ $i -lt 20000 ]; do echo xxxxxxxx; echo yyyyyyyy >&2; i=$((i+1)); done"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 20000u * 9);
    EXPECT_EQ(r.err.size(), 20000u * 9);
}

TEST(Scratch, FolderIsRemovedWithItsFiles) {
    std::filesystem::path kept;
    {
        testsupport::ScratchDir dir;
        kept = dir.path();
        testsupport::writeFile(dir.file("a.txt"), "abc");
        EXPECT_EQ(testsupport::readFile(dir.file("a.txt")), "abc");
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}
