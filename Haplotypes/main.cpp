#include "haplotypes.hpp"

int main(int argc, char** argv) { return haplotypes::haplotypesmain(argc, argv); }
