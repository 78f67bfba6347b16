// vcf2markers: the biallelic SNPs of a VCF/BCF file as the tool-chain's marker, SNP and
// known-SNP files.

#include <htslib/hts.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "converter.hpp"
#include "arguments.hpp"
#include "describe.hpp"
#include "error.hpp"
#include "options.hpp"

int main(int argc, char** argv) {
    // htslib's own warnings and errors would mix with the program's lines; every failure it
    // reports is turned into one of those.
    hts_set_log_level(HTS_LOG_OFF);
    if (argc < 2) {
        std::fputs(vcf2markers::usageText(), stderr);
        return 1;
    }
    try {
        vcf2markers::CommandLine command =
            vcf2markers::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (command.action != vcf2markers::CommandLine::Action::run)
            return ldtools::answerHelpOrVersion(command.action, vcf2markers::usageText(), "vcf2markers");
        if (command.options.describe) {
            const std::string text = vcf2markers::descriptionText(
                vcf2markers::describe(command.options.input, command.options.region));
            if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
                std::fputs("vcf2markers: cannot write standard output\n", stderr);
                return 1;
            }
            return 0;
        }
        command.options.progress = true;
        const vcf2markers::Summary summary = vcf2markers::convert(command.options);
        std::fputs(vcf2markers::summaryLine(summary).c_str(), stderr);
        return 0;
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    } catch (const std::bad_alloc&) {
        std::fputs("vcf2markers: out of memory\n", stderr);
        return 1;
    }
}
