#include "cli.hpp"

int main(int argc, char** argv) { return haplotypes::haplotypesMain(argc, argv); }
