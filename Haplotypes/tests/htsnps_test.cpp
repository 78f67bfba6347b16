// The htSNP search: small lists with known answers, and the fast search checked against a
// step-by-step implementation of the four stages on thousands of random lists.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <random>

#include "htsnps.hpp"

namespace {

using haplotypes::haplotype;
using Strings = std::vector<std::string>;

std::vector<haplotype> listof(const Strings& haps) {
    std::vector<haplotype> list;
    for (const std::string& h : haps) list.push_back({h, 6});
    return list;
}

// The search as described step by step: states in an array, groups split off by
// copying, every trial subset tested by splitting the group on its SNPs. A group is a
// list of indices into the haplotype list (at most 16). Stops with TooLong after `budget`
// trials, so that the random lists whose search runs long can be left out.
namespace stepwise {

struct TooLong {};

struct Group {
    int size = 0;
    std::array<unsigned char, 16> at{};
};

struct Search {
    const Strings& haps;
    std::vector<int> s;
    long budget = 1L << 62;
    long trials = 0;

    Group part(const Group& group, int snp, char allele) const {
        Group p;
        for (int i = 0; i < group.size; ++i)
            if (haps[group.at[i]][snp] == allele) p.at[p.size++] = group.at[i];
        return p;
    }

    int lowest(int state) const {
        auto at = std::find(s.begin(), s.end(), state);
        return at == s.end() ? -1 : static_cast<int>(at - s.begin());
    }

    bool test(const Group& group) {
        if (group.size == 1) return true;
        int snp = lowest(3);
        if (snp < 0) return false;
        s[snp] = 0;
        Group ones = part(group, snp, '1'), zeros = part(group, snp, '0');
        bool passones = ones.size == 0 || test(ones);
        bool passzeros = zeros.size == 0 || test(zeros);
        s[snp] = 3;
        return passones && passzeros;
    }

    void findmin(const Group& group) {
        int m = static_cast<int>(std::ceil(std::log(static_cast<double>(group.size)) / std::log(2.0)));
        std::vector<int> cand;
        for (size_t i = 0; i < s.size(); ++i)
            if (s[i] == 1) cand.push_back(static_cast<int>(i));
        int c = static_cast<int>(cand.size());
        for (int r = m; c != m && r <= c; ++r) {
            std::vector<int> t(r);
            std::iota(t.begin(), t.end(), 0);
            while (true) {
                if (++trials > budget) throw TooLong{};
                for (int k : t) s[cand[k]] = 3;
                bool pass = test(group);
                for (int k : t) s[cand[k]] = pass ? 2 : 1;
                if (pass) return;
                int k = r - 1;
                while (k >= 0 && t[k] >= c - r + k) --k;
                if (k < 0) break;
                ++t[k];
                for (int q = k + 1; q < r; ++q) t[q] = t[q - 1] + 1;
            }
        }
        for (int i : cand) s[i] = 2;  // c == m, c < m, or no subset of the candidates passes
    }

    void recurse(const Group& group) {
        if (group.size <= 1) return;
        int snp = lowest(2);
        if (snp < 0) return findmin(group);
        s[snp] = 0;
        Group ones = part(group, snp, '1');
        if (ones.size > 0) recurse(ones);
        Group zeros = part(group, snp, '0');
        if (zeros.size > 0) recurse(zeros);
        s[snp] = 2;
    }

    void stages() {
        size_t n = s.size();
        for (size_t i = 0; i < n; ++i)
            if (std::all_of(haps.begin(), haps.end(), [&](const std::string& h) { return h[i] == haps[0][i]; })) s[i] = 0;
        for (size_t i = 0; i + 1 < n; ++i) {
            if (s[i] == 0) continue;
            for (size_t j = i + 1; j < n; ++j) {
                if (s[j] == 0) continue;
                bool same = true, mirror = true;  // a mirror is 0 against 1 throughout, never a missing allele
                for (const std::string& h : haps) {
                    same = same && h[i] == h[j];
                    mirror = mirror && ((h[i] == '0' && h[j] == '1') || (h[i] == '1' && h[j] == '0'));
                }
                if (same || mirror) s[j] = 0;
            }
        }
        for (size_t a = 0; a < haps.size(); ++a)
            for (size_t b = a + 1; b < haps.size(); ++b) {
                int count = 0, at = -1;
                for (size_t i = 0; i < n && count < 2; ++i)
                    if (s[i] != 0 && haps[a][i] != haps[b][i]) ++count, at = static_cast<int>(i);
                if (count == 1) s[at] = 2;
            }
    }
};

Group whole(const Strings& haps) {
    Group g;
    for (size_t i = 0; i < haps.size(); ++i) g.at[g.size++] = static_cast<unsigned char>(i);
    return g;
}

bool test(const std::vector<int>& states, const Strings& haps) {
    Search run{haps, states};
    return run.test(whole(haps));
}

}  // namespace stepwise

// Random lists of 1 to 16 haplotypes over 1 to 40 SNPs, of several kinds: balanced or
// rare alleles, repeated strings, and characters other than "0" and "1".
Strings randomList(std::mt19937& random, int maxsnps = 40) {
    int haps = 1 + static_cast<int>(random() % 16), snps = 1 + static_cast<int>(random() % maxsnps);
    int rareness = 2 + static_cast<int>(random() % 6);  // a "1" with chance 1 in rareness
    bool odd = random() % 4 == 0, repeats = random() % 4 == 0;
    Strings list;
    for (int h = 0; h < haps; ++h) {
        if (repeats && h > 0 && random() % 3 == 0) {
            list.push_back(list[random() % list.size()]);
            continue;
        }
        std::string hap;
        for (int s = 0; s < snps; ++s) hap.push_back(odd && random() % 12 == 0 ? "-N"[random() % 2] : random() % rareness == 0 ? '1' : '0');
        list.push_back(hap);
    }
    return list;
}

TEST(HtSNPs, SmallListsWithKnownAnswers) {
    EXPECT_EQ(haplotypes::gethtSNPs({}), 0);
    EXPECT_EQ(haplotypes::gethtSNPs(listof({"0110"})), 0);
    EXPECT_EQ(haplotypes::findhtSNPs(listof({"01101", "11011"})), (std::vector<int>{2, 0, 0, 0, 0}));
    EXPECT_EQ(haplotypes::gethtSNPs(listof({"00", "01", "10", "11"})), 2);
    EXPECT_EQ(haplotypes::findhtSNPs(listof({"011", "101", "110"})), (std::vector<int>{2, 2, 1}));
    // SNP 2 is necessary; the "1" group's search takes SNP 1, which then splits the "0"
    // group, whose own search takes SNP 3, although SNPs 2 and 4 alone would do.
    EXPECT_EQ(haplotypes::findhtSNPs(listof({"00001", "00111", "11101", "01111"})), (std::vector<int>{2, 2, 2, 1, 0}));
    // A SNP where all agree is never chosen; candidates numbering exactly minSNPs are all taken.
    EXPECT_EQ(haplotypes::findhtSNPs(listof({"000", "011", "010"})), (std::vector<int>{0, 2, 2}));
}

TEST(HtSNPs, GroupsThatCannotBeToldApart) {
    // Equal strings: not even all candidates separate them, so every candidate is taken.
    EXPECT_EQ(haplotypes::findhtSNPs(listof({"0101", "0101", "1100", "1011", "0000"})), (std::vector<int>{2, 2, 2, 2}));
    // A character other than "0" or "1" joins neither group of a split.
    std::vector<int> trial = {3, 1};
    EXPECT_EQ(haplotypes::testSNPs(trial, listof({"-0", "-1", "00"})), 1);
    EXPECT_EQ(haplotypes::testSNPs(trial, listof({"00", "01", "10"})), 0);
}

// Whether SNP `snp` tells a and b apart: different characters, or a "-" (which joins
// neither group of a split) on either.
bool separatedAt(const std::string& a, const std::string& b, size_t snp) {
    return a[snp] != b[snp] || a[snp] == '-' || b[snp] == '-';
}

// The first pair of the list that some informative SNP (one where not every haplotype
// carries the same character) tells apart but no htSNP of `states` does; "" if none.
std::string missedPair(const Strings& list, const std::vector<int>& states) {
    std::vector<bool> constant(list[0].size());
    for (size_t snp = 0; snp < list[0].size(); ++snp)
        constant[snp] = std::all_of(list.begin(), list.end(), [&](const std::string& h) { return h[snp] == list[0][snp]; });
    for (size_t a = 0; a < list.size(); ++a)
        for (size_t b = a + 1; b < list.size(); ++b) {
            bool informative = false, chosen = false;
            for (size_t snp = 0; snp < list[0].size(); ++snp) {
                if (!constant[snp] && separatedAt(list[a], list[b], snp)) informative = true;
                if (states[snp] == haplotypes::htSNP && separatedAt(list[a], list[b], snp)) chosen = true;
            }
            if (informative && !chosen) return list[a] + " and " + list[b];
        }
    return "";
}

TEST(HtSNPs, MissingAllelesDoNotMakeMirrorSplits) {
    // SNP 100 leaves 1- and 10 together, so both SNPs are needed; "different
    // characters at every haplotype" is a mirror split only with 0 against 1 throughout.
    EXPECT_EQ(haplotypes::findhtSNPs(listof({"1-", "-0", "10"})), (std::vector<int>{2, 2}));
    EXPECT_EQ(haplotypes::findhtSNPs(listof({"10", "01", "10"})), (std::vector<int>{2, 0}));
}

TEST(HtSNPs, ChosenSNPsTellApartEveryPairTheInformativeSNPsDo) {
    // Every list of 1 to 4 haplotypes over 1 to 3 SNPs of 0, 1 and -, in every order and
    // with repeats.
    const char alleles[] = {'0', '1', '-'};
    int lists = 0;
    for (int snps = 1; snps <= 3; ++snps) {
        Strings strings;
        for (int code = 0, total = snps == 1 ? 3 : snps == 2 ? 9 : 27; code < total; ++code) {
            std::string hap;
            for (int s = 0, rest = code; s < snps; ++s, rest /= 3) hap.push_back(alleles[rest % 3]);
            strings.push_back(hap);
        }
        for (int haps = 1; haps <= 4; ++haps) {
            std::vector<size_t> pick(haps, 0);
            while (true) {
                Strings list;
                for (size_t p : pick) list.push_back(strings[p]);
                ++lists;
                std::string missed = missedPair(list, haplotypes::findhtSNPs(listof(list)));
                ASSERT_EQ(missed, "") << "list of " << haps << " over " << snps << " SNPs starting " << list[0];
                size_t k = 0;
                while (k < pick.size() && ++pick[k] == strings.size()) pick[k++] = 0;
                if (k == pick.size()) break;
            }
        }
    }
    EXPECT_EQ(lists, 3 + 9 + 27 + 81 + 9 + 81 + 729 + 6561 + 27 + 729 + 19683 + 531441);
}

TEST(HtSNPs, SeparationTestMatchesRecursiveSplitting) {
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        Strings list = randomList(random);
        std::vector<int> states(list[0].size());
        for (int& s : states) s = random() % 3 == 0 ? 3 : 1;
        ASSERT_EQ(haplotypes::testSNPs(states, listof(list)), stepwise::test(states, list) ? 1 : 0) << round;
    }
}

TEST(HtSNPs, FastSearchChoosesTheSameSNPsAsTheStepwiseSearch) {
    // Lists whose stepwise search would try more than 2000 subsets are left out; the
    // rest still hold many searches that go through several subset sizes.
    std::mt19937 random(2024);
    int compared = 0, searched = 0;
    for (int round = 0; round < 4000; ++round) {
        Strings list = randomList(random);
        stepwise::Search run{list, std::vector<int>(list[0].size(), 1), 2000};
        try {
            run.stages();
            run.recurse(stepwise::whole(list));
        } catch (const stepwise::TooLong&) {
            continue;
        }
        ++compared;
        searched += run.trials > 0;
        ASSERT_EQ(haplotypes::findhtSNPs(listof(list)), run.s) << "round " << round;
    }
    EXPECT_GT(compared, 3000);
    EXPECT_GT(searched, 1800);
    // Over at most 14 SNPs even a search through every subset stays short: none is left out.
    for (int round = 0; round < 1000; ++round) {
        Strings list = randomList(random, 14);
        stepwise::Search run{list, std::vector<int>(list[0].size(), 1)};
        run.stages();
        run.recurse(stepwise::whole(list));
        ASSERT_EQ(haplotypes::findhtSNPs(listof(list)), run.s) << "short list " << round;
    }
}

TEST(HtSNPs, Diagnostics) {
    std::vector<int> states = {0, 1, 2, 3, 2};
    char text[64] = {};
    std::FILE* out = fmemopen(text, sizeof text, "w");
    haplotypes::printSNParray(states, out);
    haplotypes::printhapswithhtSNPs(states, listof({"01234", "56789"}), out);
    std::fclose(out);
    EXPECT_STREQ(text, "2 3* 5* \n  2 4\n  7 9\n");
    EXPECT_EQ(haplotypes::checkdone(states, 4), 1);
    EXPECT_EQ(haplotypes::checkdone(states, 3), 0);
    EXPECT_EQ(haplotypes::checkdone({0, 2, 0}, 5), 1);
}

}  // namespace
