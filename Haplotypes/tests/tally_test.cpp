// The haplotype tally of a block and the known-SNP analysis of its common haplotypes.

#include <gtest/gtest.h>

#include "haplotypes.hpp"
#include "idpower.hpp"
#include "snps.hpp"

namespace {

using haplotypes::haplotype;

std::vector<haplotype> counted(const std::vector<std::pair<std::string, int>>& entries) {
    std::vector<haplotype> list;
    for (const auto& [hap, count] : entries) list.push_back({hap, count});
    return list;
}

std::vector<std::string> order(const std::vector<haplotype>& list) {
    std::vector<std::string> haps;
    for (const haplotype& h : list) haps.push_back(h.hap);
    return haps;
}

TEST(Tally, CountsDistinctHaplotypesInOrderOfFirstAppearance) {
    std::vector<haplotype> tally;
    for (const char* hap : {"01", "11", "01", "00", "11", "01"}) haplotypes::addorcount(hap, tally);
    EXPECT_EQ(order(tally), (std::vector<std::string>{"01", "11", "00"}));
    EXPECT_EQ(tally[0].count, 3);
    EXPECT_EQ(tally[1].count, 2);
    EXPECT_EQ(tally[2].count, 1);
    // Only the length of the first string is compared.
    EXPECT_EQ(haplotypes::hapsequal("01", "011"), 1);
    EXPECT_EQ(haplotypes::hapsequal("011", "01"), 0);
}

TEST(Tally, ExchangeSortIsNotStable) {
    auto xyz = counted({{"X", 2}, {"Y", 2}, {"Z", 3}});
    haplotypes::sorthaplotypes(xyz);
    EXPECT_EQ(order(xyz), (std::vector<std::string>{"Z", "Y", "X"}));
    auto kept = counted({{"X", 3}, {"Y", 2}, {"Z", 2}});
    haplotypes::sorthaplotypes(kept);
    EXPECT_EQ(order(kept), (std::vector<std::string>{"X", "Y", "Z"}));
}

TEST(Tally, MajorAndCommonHaplotypes) {
    EXPECT_EQ(haplotypes::countmajorhaps(counted({{"a", 50}, {"b", 30}, {"c", 20}}), 80), 2);
    EXPECT_EQ(haplotypes::countmajorhaps(counted({{"a", 80}, {"b", 20}}), 80), 1);
    EXPECT_EQ(haplotypes::countmajorhaps(std::vector<haplotype>(100, haplotype{"a", 1}), 80), 80);

    auto tally = counted({{"a", 40}, {"b", 6}, {"c", 5}, {"d", 49}});
    EXPECT_EQ(haplotypes::countcommonhaps(tally, 5), 3);
    EXPECT_EQ(haplotypes::countpercentcommonhaps(tally, 5), 95);
    EXPECT_EQ(order(haplotypes::getcommonhaps(tally, 5)), (std::vector<std::string>{"a", "b", "d"}));
    EXPECT_TRUE(haplotypes::getcommonhaps(std::vector<haplotype>(100, haplotype{"a", 1}), 5).empty());

    char text[32] = {};
    std::FILE* out = fmemopen(text, sizeof text, "w");
    haplotypes::printhaplotypes(counted({{"010", 7}, {"1", 12}}), out);
    std::fclose(out);
    EXPECT_STREQ(text, "010  7\n1  12\n");
}

TEST(KnownSNPs, CommonHaplotypesTheKnownSNPsTellApart) {
    // A block of four SNPs at 10, 20, 30, 40; a SNP at 5 before it.
    haplotypes::Tables tables;
    tables.snparray = {5, 10, 20, 30, 40};
    tables.Known = 1;
    auto common = counted({{"0011", 40}, {"0110", 30}, {"1010", 20}});
    tables.knownSNParray = {20, 40};  // reductions 01, 10, 00: all distinct
    EXPECT_EQ(haplotypes::numberhapsknown(tables, common, 10), 90);
    tables.knownSNParray = {1, 30};  // reductions 1, 1, 1: none identified
    EXPECT_EQ(haplotypes::numberhapsknown(tables, common, 10), 0);
    tables.knownSNParray = {10, 30};  // 01, 01 differ only at unknown SNPs; 11 still counts
    EXPECT_EQ(haplotypes::numberhapsknown(tables, common, 10), 20);
    tables.knownSNParray = {5, 50};  // no known SNP inside the block
    EXPECT_EQ(haplotypes::numberhapsknown(tables, common, 10), 0);
    EXPECT_EQ(haplotypes::numberhapsknown(tables, counted({{"0011", 64}}), 10), 64);
    EXPECT_EQ(haplotypes::numberhapsknown(tables, {}, 10), 0);
    tables.Known = 0;  // without a known-SNP file every SNP counts as known
    EXPECT_EQ(haplotypes::numberhapsknown(tables, common, 10), 90);
}

}  // namespace
