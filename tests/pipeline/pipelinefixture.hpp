#pragma once
// The pipeline script and the built programs laid out as an installation would lay them out (script
// and programs in one folder), in a scratch folder of each test.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "process.hpp"
#include "scratch.hpp"

namespace fs = std::filesystem;

namespace {

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(bin());
        fs::copy_file(testsupport::sourcePath("scripts/ldblocks"), script());
        fs::create_symlink(LINKSTAT_BIN, bin() / "linkstat");
        fs::create_symlink(LDTILE_BIN, bin() / "ldtile");
        fs::create_symlink(HAPLOTYPES_BIN, bin() / "haplotypes");
        fs::create_symlink(VCF2MARKERS_BIN, bin() / "vcf2markers");
        fs::create_symlink(LDPLOT_BIN, bin() / "ldplot");
        fs::create_symlink(LDVIEW_BIN, bin() / "ldview");
    }

    fs::path bin() const { return scratch.path() / "bin"; }
    std::string script() const { return (bin() / "ldblocks").string(); }
    std::string out() const { return (scratch.path() / "out").string(); }
    std::string out(const std::string& name) const { return (scratch.path() / "out" / name).string(); }

    // Runs the script without the picture (one test draws it).
    testsupport::RunResult ldblocks(std::vector<std::string> args, const std::string& workdir = "") const {
        args.insert(args.begin(), "--no-plot");
        return ldblocksWithPlot(args, workdir);
    }
    testsupport::RunResult ldblocksWithPlot(std::vector<std::string> args, const std::string& workdir = "") const {
        args.insert(args.begin(), {"/bin/sh", script()});
        if (!environment.empty()) {
            args.insert(args.begin(), environment.begin(), environment.end());
            args.insert(args.begin(), "/usr/bin/env");
        }
        return testsupport::run(args, {.input = "", .workdir = workdir, .stdoutPath = ""});
    }

    testsupport::ScratchDir scratch;
    std::vector<std::string> environment;  // NAME=VALUE settings for the script's runs
};

}  // namespace
