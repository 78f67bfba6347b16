#include "haplotypes.hpp"

int main(int argc, char** argv) { return haplo::haplotypesmain(argc, argv); }
