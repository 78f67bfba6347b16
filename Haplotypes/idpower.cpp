#include "idpower.hpp"

#include <new>

#include "error.hpp"

namespace haplotypes {

namespace {

[[noreturn]] void allocationfailed(const char* operation) {
    throw ldtools::Error(std::string("ERROR: Malloc failed, ") + operation);
}

}  // namespace

int numberhapsknown(const Tables& tables, std::span<const haplotype> haparray, int startSNP) {
    if (haparray.empty()) return 0;
    std::vector<int> sarray;
    std::vector<haplotype> temphaparray;
    try {
        sarray.reserve(haparray[0].hap.size());
        temphaparray.reserve(haparray.size() + 1);
    } catch (const std::bad_alloc&) {
        allocationfailed("numberhapsknown");
    }
    getknownsnparray(tables, startSNP, static_cast<int>(haparray[0].hap.size()), sarray);
    hapswithknownSNPs(haparray, sarray, temphaparray);
    return getnumberuniquehaps(temphaparray);
}

int getknownsnparray(const Tables& tables, int startSNP, int length, std::vector<int>& sarray) {
    int first = getindexfrompos(tables, startSNP);
    sarray.assign(length, 0);
    for (int i = 0; i < length; ++i)
        if (snpKnown(tables, getSNPpos(tables, first + i)) == 1) sarray[i] = 1;
    return length;
}

int hapswithknownSNPs(std::span<const haplotype> haparray, const std::vector<int>& sarray,
                      std::vector<haplotype>& temphaparray) {
    temphaparray.clear();
    try {
        for (const haplotype& h : haparray) {
            haplotype reduced{std::string(), h.count};
            reduced.hap.reserve(h.hap.size());
            gethapsubset(sarray, h.hap, reduced.hap);
            temphaparray.push_back(std::move(reduced));
        }
    } catch (const std::bad_alloc&) {
        allocationfailed("hapswithknownSNPS");
    }
    return static_cast<int>(temphaparray.size());
}

void gethapsubset(const std::vector<int>& sarray1, const std::string& hap1, std::string& ts) {
    ts.clear();
    for (size_t i = 0; i < hap1.size(); ++i)
        if (sarray1[i] == 1) ts.push_back(hap1[i]);
}

int getnumberuniquehaps(std::span<const haplotype> haparray) {
    if (haparray.empty()) return 0;
    std::vector<int> killarray;
    try {
        killarray.assign(haparray.size(), 0);
    } catch (const std::bad_alloc&) {
        allocationfailed("getnumberuniquehaps");
    }
    size_t len = haparray[0].hap.size();
    for (size_t i = 0; i < haparray.size(); ++i)
        for (size_t j = i + 1; j < haparray.size(); ++j)
            if (haparray[i].hap.compare(0, len, haparray[j].hap, 0, len) == 0) killarray[i] = killarray[j] = 1;
    int sum = 0;
    for (size_t i = 0; i < haparray.size(); ++i)
        if (killarray[i] == 0) sum += haparray[i].count;
    return sum;
}

}  // namespace haplotypes
