// vcf2markers: the biallelic SNPs of a VCF/BCF file as the tool-chain's marker, SNP and
// known-SNP files.

#include "cli.hpp"

int main(int argc, char** argv) {
    return vcf2markers::vcf2markersMain(argc, argv);
}
