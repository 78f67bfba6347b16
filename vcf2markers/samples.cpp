#include "samples.hpp"

#include <algorithm>
#include <unordered_map>

#include "error.hpp"
#include "listlines.hpp"
#include "reader.hpp"
#include "textscanner.hpp"

namespace vcf2markers {
namespace {

[[noreturn]] void fail(const std::string& message) {
    throw ldtools::Error("vcf2markers: " + message + "\n");
}

std::string optionName(const SampleChoice& choice) {
    return std::string("-") + choice.option;
}

std::vector<std::string> namesInFile(const SampleChoice& choice) {
    std::vector<std::string> names;
    try {
        ldtools::FileReader file(choice.value);
        ldtools::TextScanner lines(file, kListRules);
        std::string_view name;
        ldtools::Token token;
        while ((token = lines.nextLine(name)) == ldtools::Token::line) {
            if (!name.empty() && name.back() == '\r') name.remove_suffix(1);
            if (!name.empty()) names.emplace_back(name);
        }
        if (token == ldtools::Token::lineTooLong)
            failLongLine(choice.value + " (" + optionName(choice) + ")", lines.line());
    } catch (const ldtools::SystemError& error) {
        fail("cannot read the sample file " + choice.value + " (" + optionName(choice) + "): " + error.reason());
    }
    if (names.empty()) fail("the sample file " + choice.value + " (" + optionName(choice) + ") names no individuals");
    return names;
}

}  // namespace

std::vector<std::string> namesOf(const SampleChoice& choice) {
    if (choice.kind == SampleChoice::Kind::file) return namesInFile(choice);
    if (choice.kind != SampleChoice::Kind::list) return {};
    std::vector<std::string> names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = choice.value.find(',', start);
        const std::size_t end = comma == std::string::npos ? choice.value.size() : comma;
        if (end == start) fail(optionName(choice) + " holds an empty name ('" + choice.value + "')");
        names.push_back(choice.value.substr(start, end - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return names;
}

SampleSelection selectSamples(const std::vector<std::string>& fileSamples, const SampleChoice& markers,
                              const SampleChoice& haplotypes, const std::string& input) {
    std::unordered_map<std::string, int> indexOf;
    for (std::size_t i = 0; i < fileSamples.size(); ++i) indexOf.emplace(fileSamples[i], static_cast<int>(i));

    // The named individuals as ascending indices.
    auto resolve = [&](const SampleChoice& choice) {
        std::vector<int> indices;
        for (const std::string& name : namesOf(choice)) {
            const auto found = indexOf.find(name);
            if (found == indexOf.end())
                fail(input + " has no individual named '" + ldtools::quotable(name) + "' (" + optionName(choice) + ")");
            indices.push_back(found->second);
        }
        std::sort(indices.begin(), indices.end());
        const auto twice = std::adjacent_find(indices.begin(), indices.end());
        if (twice != indices.end())
            fail(optionName(choice) + " names '" + ldtools::quotable(fileSamples[static_cast<std::size_t>(*twice)]) + "' twice");
        return indices;
    };

    SampleSelection selection;
    if (markers.kind == SampleChoice::Kind::byDefault) {
        for (std::size_t i = 0; i < fileSamples.size(); ++i) selection.markers.push_back(static_cast<int>(i));
    } else {
        selection.markers = resolve(markers);
    }

    switch (haplotypes.kind) {
    case SampleChoice::Kind::none:
        break;
    case SampleChoice::Kind::byDefault:
        if (selection.markers.size() < kHaplotypeIndividuals)
            fail("the SNP file needs 50 individuals, and there are only " + std::to_string(selection.markers.size()) +
                 " marker individuals; name 50 with -H or -F, or give -H none");
        selection.haplotypes.assign(selection.markers.begin(), selection.markers.begin() + kHaplotypeIndividuals);
        break;
    default:
        selection.haplotypes = resolve(haplotypes);
        if (selection.haplotypes.size() != kHaplotypeIndividuals)
            fail(optionName(haplotypes) + " names " + std::to_string(selection.haplotypes.size()) +
                 " individuals; the SNP file needs exactly 50");
        break;
    }

    std::set_union(selection.markers.begin(), selection.markers.end(), selection.haplotypes.begin(),
                   selection.haplotypes.end(), std::back_inserter(selection.used));
    return selection;
}

}  // namespace vcf2markers
