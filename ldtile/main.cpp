// ldtile: haplotype blocks of an LD bounds file (see cli.hpp).

#include "cli.hpp"

int main(int argc, char** argv) {
    return ldtile::ldtileMain(argc, argv);
}
