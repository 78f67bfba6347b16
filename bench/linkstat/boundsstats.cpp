// linkstat_boundsstats: the linkstat command line, then, on standard error, the bounds kernel used and how
// many genotype tables needed the exact evaluation of their bounds. Not installed; bench/linkstat uses it.
//
//   linkstat_boundsstats [--kernel=portable|avx2|avx512] linkstat-options...

#include <cstdio>
#include <cstring>
#include <vector>

#include "gridbounds.hpp"
#include "linkstat.hpp"

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    linkstat::Tuning tuning;
    if (args.size() > 1 && std::strncmp(args[1], "--kernel=", 9) == 0) {
        const char* name = args[1] + 9;
        bool known = false;
        for (const auto kernel : linkstat::allKernels<linkstat::BoundsKernel>()) {
            if (std::strcmp(name, linkstat::kernelName(kernel)) != 0) continue;
            known = true;
            if (!tuning.kernels.use(kernel)) {
                std::fprintf(stderr, "linkstat_boundsstats: this processor cannot run the %s kernel\n", name);
                return 2;
            }
        }
        if (!known) {
            std::fprintf(stderr, "linkstat_boundsstats: unknown kernel %s\n", name);
            return 2;
        }
        args.erase(args.begin() + 1);
    }
    linkstat::BoundsTally tally;
    const int status = linkstat::linkstatMain(static_cast<int>(args.size()), args.data(), tuning, &tally);
    std::fprintf(stderr, "kernel %s: %llu tables, %llu evaluated exactly (%.4f%%)\n",
                 linkstat::kernelName(tuning.kernels.get<linkstat::BoundsKernel>()),
                 static_cast<unsigned long long>(tally.tables), static_cast<unsigned long long>(tally.exact),
                 tally.tables == 0 ? 0.0 : 100.0 * static_cast<double>(tally.exact) / static_cast<double>(tally.tables));
    return status;
}
