// sortblocks: a block file with its blocks in ascending order of position.

#include "cli.hpp"

int main(int argc, char** argv) {
    return sortblocks::runCommandLine(argc, argv);
}
