// ldquery: the partners of SNPs in a bounds file.

#include "cli.hpp"

int main(int argc, char** argv) {
    return ldquery::runCommandLine(argc, argv);
}
