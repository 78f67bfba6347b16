// linkstat_reference: the linkstat command line run with the straightforward pair-by-pair loop instead
// of the fast one. Not installed; the benchmark uses it to check the program's output byte for byte.

#include "linkstat.hpp"

int main(int argc, char** argv) {
    linkstat::Tuning tuning;
    tuning.evaluation = linkstat::Evaluation::literal;
    return linkstat::linkstatMain(argc, argv, tuning);
}
