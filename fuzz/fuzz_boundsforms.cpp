// Any bytes as a bounds file in each of its forms, and as an ID file. The first byte chooses what
// the rest is: a bounds file read as it is (plain, or gzip when it starts with the magic bytes),
// the lines of the indexed form (the header line and the rest, BGZF-compressed), or an ID file.
//
// Bounds: the records that are read ascend; when the whole file reads cleanly, it is written again
// in the indexed form with its index, read back whole with the same records and words, and every
// region read through the index holds exactly the records that touch it. IDs: every position named
// is found by its name and the name by its position. Refusals must be the readers' own errors;
// anything else (a crash, a sanitizer report, a broken property) aborts.

#include <htslib/bgzf.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "boundsformat.hpp"
#include "idformat.hpp"
#include "indexedbounds.hpp"

namespace {

[[noreturn]] void broken(const std::string& what) {
    std::fprintf(stderr, "fuzz_boundsforms: %s\n", what.c_str());
    std::abort();
}

// A scratch folder of this process, for a file and its index.
const std::string& folder() {
    static const std::string name = [] {
        std::string pattern = "/tmp/fuzz_boundsforms-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) broken("mkdtemp failed");
        return pattern;
    }();
    return name;
}

void writePlain(const std::string& name, const std::string& bytes) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0)
        broken("cannot write " + name);
}

void writeBgzf(const std::string& name, const std::string& bytes) {
    BGZF* file = bgzf_open(name.c_str(), "w1");
    if (file == nullptr || bgzf_write(file, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        bgzf_close(file) != 0)
        broken("cannot write " + name);
}

struct Stored {
    ldtools::BoundsRecord record;
    std::string words[4];
};

// Every record of a source, or false when it refuses the file.
bool readAll(ldtools::BoundsSource& source, std::vector<Stored>& records) {
    try {
        ldtools::BoundsRecord record;
        ldtools::BoundsWords words;
        while (source.next(record, words)) {
            if (!records.empty()) {
                const ldtools::BoundsRecord& last = records.back().record;
                if (record.first < last.first || (record.first == last.first && record.second <= last.second))
                    broken("records out of order were read");
            }
            if (record.second <= record.first) broken("a record whose second position is not above its first");
            records.push_back({record, {std::string(words.first), std::string(words.second),
                                        std::string(words.lower), std::string(words.upper)}});
        }
        return true;
    } catch (const ldtools::BoundsFileError&) {
        return false;
    }
}

// The same record: the same positions and the same words of its bounds.
bool same(const Stored& a, const Stored& b) {
    return a.record.first == b.record.first && a.record.second == b.record.second && a.words[2] == b.words[2] &&
           a.words[3] == b.words[3];
}

// The indexed form writes its positions as plain decimal numbers, the words the index reads.
bool canonicalPositions(const Stored& s) {
    return s.words[0] == std::to_string(s.record.first) && s.words[1] == std::to_string(s.record.second);
}

// The records stored again in the indexed form, read whole and by regions through the index.
void roundTrip(const std::vector<Stored>& records) {
    if (records.empty() || records.front().record.first < ldtools::kFirstIndexedPosition) return;
    const std::string name = folder() + "/round.tsv.gz";
    {
        ldtools::IndexedBoundsWriter writer(name, "c1", {.threads = 1, .level = 1});
        for (const Stored& s : records)
            writer.add(s.record, {s.words[0], s.words[1], s.words[2], s.words[3]});
        writer.commit();
    }
    std::vector<Stored> whole;
    const auto source = ldtools::openBounds(name);
    if (!readAll(*source, whole) || whole.size() != records.size()) broken("the indexed form does not read back");
    for (std::size_t k = 0; k < records.size(); ++k)
        if (!same(whole[k], records[k]) || !canonicalPositions(whole[k]))
            broken("a record changed in the indexed form");
    // Regions around the first, a middle and the last record, and one beyond them all.
    const std::int32_t marks[] = {records.front().record.first, records[records.size() / 2].record.second,
                                  records.back().record.second};
    for (const std::int32_t mark : marks) {
        for (const std::int32_t width : {0, 1000, 300000}) {
            const std::int32_t from = mark > width ? mark - width : 1;
            const std::int32_t to = mark < INT32_MAX - width ? mark + width : INT32_MAX;
            std::vector<Stored> region;
            const auto reader = ldtools::openBoundsRange(name, from, to);
            if (!readAll(*reader, region)) broken("a region of a clean file is refused");
            std::vector<Stored> expected;
            for (const Stored& s : records)
                if (s.record.first <= to && s.record.second >= from) expected.push_back(s);
            if (region.size() != expected.size()) broken("a region holds other records than those touching it");
            for (std::size_t k = 0; k < region.size(); ++k)
                if (!same(region[k], expected[k])) broken("a region's record differs");
        }
    }
}

void checkIds(const std::string& name) {
    try {
        const ldtools::IdTable table = ldtools::IdTable::read(name, "c1");
        (void)table.size();
    } catch (const ldtools::InputError&) {
    } catch (const ldtools::FormatError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string name = folder() + "/input";
    switch (data[0] % 3) {
    case 0: writePlain(name, bytes); break;
    case 1: writeBgzf(name, std::string(ldtools::kIndexedBoundsHeader) + "\n" + bytes); break;
    default:
        writePlain(name, bytes);
        checkIds(name);
        return 0;
    }
    std::vector<Stored> records;
    bool clean = false;
    try {
        const auto source = ldtools::openBounds(name);
        clean = readAll(*source, records);
    } catch (const ldtools::BoundsFileError&) {
    }
    if (clean) {
        try {
            roundTrip(records);
        } catch (const ldtools::BoundsWriteError&) {
            // Words the indexed form cannot hold (a tab inside a word cannot come from the readers).
            broken("a clean file cannot be written in the indexed form");
        }
    }
    return 0;
}
