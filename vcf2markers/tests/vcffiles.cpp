#include "vcffiles.hpp"

#include <htslib/bgzf.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <cstdio>
#include <stdexcept>

namespace vcftest {

std::vector<std::string> names(const std::string& stem, int count) {
    std::vector<std::string> result;
    for (int i = 1; i <= count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d", i);
        result.push_back(stem + number);
    }
    return result;
}

std::string header(const std::vector<std::string>& individuals) {
    std::string text =
        "##fileformat=VCFv4.2\n##contig=<ID=20>\n##contig=<ID=21>\n"
        "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
        "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
    for (const std::string& name : individuals) text += "\t" + name;
    return text + "\n";
}

std::string row(const std::string& chromosome, long position, const std::string& ref, const std::string& alt,
                const std::vector<std::string>& genotypes) {
    std::string text = chromosome + "\t" + std::to_string(position) + "\t.\t" + ref + "\t" + alt + "\t.\t.\t.\tGT";
    for (const std::string& genotype : genotypes) text += "\t" + genotype;
    return text + "\n";
}

std::vector<std::string> repeat(const std::string& genotype, int count) {
    return std::vector<std::string>(static_cast<std::size_t>(count), genotype);
}

void writeBgzip(const std::string& path, const std::string& text, bool index) {
    BGZF* file = bgzf_open(path.c_str(), "w");
    if (file == nullptr) throw std::runtime_error("cannot create " + path);
    const bool written = bgzf_write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (bgzf_close(file) != 0 || !written) throw std::runtime_error("cannot write " + path);
    if (index && tbx_index_build(path.c_str(), 0, &tbx_conf_vcf) != 0)
        throw std::runtime_error("cannot index " + path);
}

void writeBcf(const std::string& vcfPath, const std::string& bcfPath) {
    htsFile* in = hts_open(vcfPath.c_str(), "r");
    htsFile* out = hts_open(bcfPath.c_str(), "wb");
    if (in == nullptr || out == nullptr) throw std::runtime_error("cannot convert " + vcfPath);
    bcf_hdr_t* header = bcf_hdr_read(in);
    bcf1_t* record = bcf_init();
    bool ok = header != nullptr && bcf_hdr_write(out, header) == 0;
    while (ok && bcf_read(in, header, record) == 0) ok = bcf_write(out, header, record) == 0;
    bcf_destroy(record);
    if (header != nullptr) bcf_hdr_destroy(header);
    hts_close(in);
    if (hts_close(out) != 0 || !ok || bcf_index_build(bcfPath.c_str(), 14) != 0)
        throw std::runtime_error("cannot write " + bcfPath);
}

void writeRawGenotypes(const std::string& path, const std::vector<std::string>& individuals,
                       const std::vector<std::vector<std::int32_t>>& codes, bool asText) {
    htsFile* out = hts_open(path.c_str(), "wbu");
    if (out == nullptr) throw std::runtime_error("cannot create " + path);
    bcf_hdr_t* header = bcf_hdr_init("w");
    bcf_hdr_append(header, "##contig=<ID=20>");
    bcf_hdr_append(header, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">");
    for (const std::string& name : individuals) bcf_hdr_add_sample(header, name.c_str());
    bool ok = bcf_hdr_sync(header) == 0 && bcf_hdr_write(out, header) == 0;
    bcf1_t* record = bcf_init();
    long position = 100;
    for (const std::vector<std::int32_t>& values : codes) {
        bcf_clear(record);
        record->rid = bcf_hdr_name2id(header, "20");
        record->pos = position - 1;
        position += 100;
        std::vector<std::int32_t> gt = values;
        std::vector<const char*> text(individuals.size(), "0/1");
        const int stored =
            asText ? bcf_update_format_string(header, record, "GT", text.data(), static_cast<int>(text.size()))
                   : bcf_update_genotypes(header, record, gt.data(), static_cast<int>(gt.size()));
        ok = ok && bcf_update_alleles_str(header, record, "A,G") == 0 && stored == 0 && bcf_write(out, header, record) == 0;
    }
    bcf_destroy(record);
    bcf_hdr_destroy(header);
    if (hts_close(out) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace vcftest
