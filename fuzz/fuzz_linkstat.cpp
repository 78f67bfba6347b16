// libFuzzer harness for linkstat. The input is a marker file after its first byte, which chooses the
// counting mode and the options (bits 0-1: -E, -K, -A, -E; 2: -P; 3: -S; 4: -H; 5: -D; 6: -RN;
// 7: short line and field limits, and a tiny memo with wide count keys for the fast loop). The run is
// made twice in this process, with the fast evaluation and with the pair-by-pair loop: the reports and
// the failures must be the same, or the harness aborts. The fast run uses 1 to 3 threads (from the
// input's length) sharing blocks of a few lines, so the order of the blocks written is checked too.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "linkstat.hpp"
#include "reader.hpp"
#include "run.hpp"
#include "writer.hpp"

namespace {

struct Outcome {
    std::string report;
    std::string error;
};

int memoryFile(const char* name) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    return fd;
}

Outcome run(std::vector<std::string> options, const linkstat::Tuning& tuning, int reportFd) {
    if (::ftruncate(reportFd, 0) != 0 || ::lseek(reportFd, 0, SEEK_SET) != 0) std::abort();
    std::vector<char*> argv;
    for (std::string& option : options) argv.push_back(option.data());
    Outcome outcome;
    {
        ldtools::BufferedWriter fpo(reportFd);
        const linkstat::Settings settings = linkstat::readOptions(static_cast<int>(argv.size()), argv.data());
        ldtools::FileReader input(settings.inputName);
        try {
            linkstat::Run run(settings, tuning, fpo);
            linkstat::analyse(run, input);
        } catch (const linkstat::Failure& failure) {
            outcome.error = failure.what();
        }
        fpo.flush();
    }
    const off_t size = ::lseek(reportFd, 0, SEEK_CUR);
    outcome.report.resize(static_cast<std::size_t>(size));
    if (size > 0 && ::pread(reportFd, outcome.report.data(), outcome.report.size(), 0) != size) std::abort();
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const int inputFd = memoryFile("linkstat-markers");
    static const int reportFd = memoryFile("linkstat-report");
    if (::ftruncate(inputFd, 0) != 0) std::abort();
    if (size > 1 && ::pwrite(inputFd, data + 1, size - 1, 0) != static_cast<ssize_t>(size - 1)) std::abort();

    const unsigned flags = data[0];
    std::vector<std::string> options = {"linkstat", "-I/proc/self/fd/" + std::to_string(inputFd)};
    options.push_back(flags % 4 == 1 ? "-K" : flags % 4 == 2 ? "-A" : "-E");
    if (flags & 4) options.push_back("-P");
    if (flags & 8) options.push_back("-S");
    if (flags & 16) options.push_back("-H");
    if (flags & 32) options.push_back("-D");
    if (flags & 64) options.push_back("-RN");

    linkstat::Tuning fast, literal;
    literal.evaluation = linkstat::Evaluation::literal;
    if (flags & 128) {
        fast.lineLimit = literal.lineLimit = 200;
        fast.fieldLimit = literal.fieldLimit = 64;
        fast.fastLimits = linkstat::FastPairLimits{2, 3, 2, 3, 0};
    }
    fast.blockLines = 1 + size % 7;
    const Outcome expected = run(options, literal, reportFd);
    options.push_back("-T" + std::to_string(1 + size % 3));
    const Outcome actual = run(options, fast, reportFd);
    if (actual.report != expected.report || actual.error != expected.error) {
        std::fprintf(stderr, "fast and pair-by-pair runs differ (flags %u, %s)\n--- pair by pair:\n%s%s--- fast:\n%s%s", flags,
                     options.back().c_str(),
                     expected.report.c_str(), expected.error.c_str(), actual.report.c_str(), actual.error.c_str());
        std::abort();
    }
    return 0;
}
