#include "view.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "encode.hpp"
#include "error.hpp"
#include "overview.hpp"
#include "progress.hpp"
#include "sideinputs.hpp"
#include "version.hpp"
#include "viewfolder.hpp"
#include "webfiles.hpp"
#include "workers.hpp"

namespace ldview {
namespace {

std::atomic<int> stopSignal{0};

void onStopSignal(int signal) {
    stopSignal.store(signal);
}

void checkStop() {
    if (const int signal = stopSignal.load()) throw Stopped{signal};
}

// Little-endian bytes of whole numbers and doubles, as the page's typed arrays read them.
void putInt32(std::string& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int k = 0; k < 4; ++k) out += static_cast<char>((bits >> (8 * k)) & 0xFF);
}

void putDouble(std::string& out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    for (int k = 0; k < 8; ++k) out += static_cast<char>((bits >> (8 * k)) & 0xFF);
}

std::string compressedArray(const std::string& bytes) {
    std::string out(1, '"');
    out += base64(deflateBytes(bytes));
    out += '"';
    return out;
}

// The name of a data file: a letter and numbers joined by '_'.
std::string dataName(char kind, std::size_t first, long second = -1) {
    std::string name(1, kind);
    name += std::to_string(first);
    if (second >= 0) name += '_' + std::to_string(second);
    return name;
}

template <class T>
std::string jsonArray(const std::vector<T>& values) {
    std::string out = "[";
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (k > 0) out += ',';
        out += std::to_string(values[k]);
    }
    return out + "]";
}

// The map points that matter to the SNPs: from the last one at or before the first SNP to the
// first one at or after the last SNP.
std::vector<MapPoint> mapAround(const std::vector<MapPoint>& points, const std::vector<std::int32_t>& snps) {
    if (snps.empty() || points.empty()) return {};
    auto from = std::upper_bound(points.begin(), points.end(), snps.front(),
                                 [](std::int32_t p, const MapPoint& m) { return p < m.position; });
    if (from != points.begin()) --from;
    auto to = std::lower_bound(points.begin(), points.end(), snps.back(),
                               [](const MapPoint& m, std::int32_t p) { return m.position < p; });
    if (to != points.end()) ++to;
    return {from, to};
}

struct Inputs {
    PairStore store;
    std::string chromosome;
    std::vector<BlockSpan> blocks;
    std::vector<std::int32_t> tags;
    std::vector<std::string> ids;
    std::vector<MapPoint> map;
};

void readBounds(const Options& options, Inputs& inputs) {
    BoundsInput input(options.bounds);
    ldtools::ProgressLine progress;
    PairRecord record;
    while (input.next(record)) {
        inputs.store.add(record);
        if ((inputs.store.recordsRead() & 0xFFFF) == 0) checkStop();
        if ((inputs.store.recordsRead() & 0xFFFFF) == 0 && progress.due())
            progress.show("ldview: reading " + options.bounds + ": " + std::to_string(inputs.store.recordsRead()) +
                          " records");
    }
    progress.clear();
    inputs.store.finish();
    inputs.chromosome = options.chromosome;
    if (input.indexed() && !input.chromosome().empty()) {
        if (options.chromosomeGiven && options.chromosome != input.chromosome())
            throw ldtools::Error("ldview: the records of " + options.bounds + " are of chromosome " +
                                 ldtools::quotable(input.chromosome()) + ", not " + ldtools::quotable(options.chromosome) +
                                 "\n");
        inputs.chromosome = input.chromosome();
    }
}

std::string metaScript(const Options& options, const Inputs& inputs, const std::vector<OverviewLevel>& levels,
                       const std::vector<std::int32_t>& tiles) {
    const PairStore& store = inputs.store;
    const std::vector<std::int32_t>& snps = store.snps();
    std::string positions;
    for (std::size_t k = 0; k < snps.size(); ++k)
        putInt32(positions, k == 0 ? snps[0] : static_cast<std::int32_t>(static_cast<std::uint32_t>(snps[k]) -
                                                                       static_cast<std::uint32_t>(snps[k - 1])));
    std::vector<std::int32_t> blocks;
    for (const BlockSpan& block : inputs.blocks) {
        blocks.push_back(block.first);
        blocks.push_back(block.last);
    }
    std::uint64_t classCounts[5] = {};
    for (std::int32_t a = 0; a < static_cast<std::int32_t>(snps.size()); ++a)
        store.forEachOf(a, [&](const KeptPair& pair) { ++classCounts[static_cast<int>(classOf(pair.lower, pair.upper))]; });
    std::uint64_t near = 0;
    for (std::size_t a = 0; a < snps.size(); ++a) near += static_cast<std::uint64_t>(store.ends()[a]) - a;

    std::string meta = "{\"format\":1";
    meta += ",\"program\":" + jsonString(std::string("ldview ") + ldtools::kVersion);
    meta += ",\"chromosome\":" + jsonString(inputs.chromosome);
    meta += ",\"bounds\":" + jsonString(options.bounds.substr(options.bounds.find_last_of('/') + 1));
    meta += ",\"snps\":" + std::to_string(snps.size());
    meta += ",\"window\":" + std::to_string(kPairWindow);
    meta += ",\"depth\":" + std::to_string(store.depth());
    meta += ",\"records\":" + std::to_string(store.recordsRead());
    meta += ",\"pairs\":" + std::to_string(store.size());
    meta += ",\"classCounts\":[" + std::to_string(classCounts[1]) + "," + std::to_string(classCounts[2]) + "," +
            std::to_string(classCounts[3]) + "," + std::to_string(near - store.size()) + "]";
    meta += ",\"positions\":" + compressedArray(positions);
    meta += ",\"blocks\":" + jsonArray(blocks);
    meta += ",\"tags\":" + jsonArray(inputs.tags);
    meta += ",\"ids\":" + std::string(options.ids.empty() ? "false" : "true");
    if (!options.map.empty()) {
        std::string mapPositions, mapCm;
        for (const MapPoint& point : inputs.map) {
            putInt32(mapPositions, point.position);
            putDouble(mapCm, point.cm);
        }
        meta += ",\"map\":{\"points\":" + std::to_string(inputs.map.size()) +
                ",\"positions\":" + compressedArray(mapPositions) + ",\"cm\":" + compressedArray(mapCm) + "}";
    } else {
        meta += ",\"map\":null";
    }
    meta += ",\"plotWidth\":" + std::to_string(options.width - 2 * kMargin);
    meta += ",\"levelTileColumns\":" + std::to_string(kLevelTileColumns);
    meta += ",\"levels\":[";
    for (std::size_t k = 0; k < levels.size(); ++k)
        meta += std::string(k > 0 ? "," : "") + "{\"width\":" + std::to_string(levels[k].width) +
                ",\"rows\":" + std::to_string(levels[k].rows) + "}";
    meta += "]";
    meta += ",\"pairTiles\":" + jsonArray(tiles);
    meta += "}";
    return "ldviewData(\"meta\"," + meta + ");\n";
}

std::string levelTileBytes(const OverviewLevel& level, std::int64_t from, std::int64_t to) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>((to - from) * level.rows));
    for (std::int64_t r = 0; r < level.rows; ++r)
        bytes.append(reinterpret_cast<const char*>(level.classes.data() + r * level.width + from),
                     static_cast<std::size_t>(to - from));
    return bytes;
}

std::string idScript(const std::vector<std::string>& ids) {
    std::string text;
    for (std::size_t k = 0; k < ids.size(); ++k) {
        if (k > 0) text += '\n';
        text += ids[k];
    }
    return dataScript("ids", text);
}

}  // namespace

void catchStopSignals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = &onStopSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

void endWith(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

std::vector<std::int32_t> pairTileStarts(const std::vector<std::int32_t>& ends) {
    const std::int32_t n = static_cast<std::int32_t>(ends.size());
    std::vector<std::int32_t> starts;
    std::int64_t slots = 0;
    for (std::int32_t a = 0; a < n; ++a) {
        const std::int64_t own = ends[a] - a;
        if (starts.empty() || slots + own > kTileSlots || a - starts.back() >= kTileSnps) {
            starts.push_back(a);
            slots = 0;
        }
        slots += own;
    }
    starts.push_back(n);
    return starts;
}

std::string pairTileBytes(const PairStore& store, std::int32_t from, std::int32_t to) {
    const std::vector<std::int32_t>& ends = store.ends();
    std::size_t size = 0;
    for (std::int32_t a = from; a < to; ++a) size += static_cast<std::size_t>(ends[a] - a);
    std::string bytes(2 * size, static_cast<char>(kNoRecord));
    std::size_t row = 0;
    for (std::int32_t a = from; a < to; ++a) {
        store.forEachOf(a, [&](const KeptPair& pair) {
            const std::size_t slot = 2 * (row + static_cast<std::size_t>(pair.distance) - 1);
            bytes[slot] = static_cast<char>(pair.lower);
            bytes[slot + 1] = static_cast<char>(pair.upper);
        });
        row += static_cast<std::size_t>(ends[a] - a);
    }
    return bytes;
}

ViewSummary buildView(const Options& options) {
    for (const std::string* input : {&options.bounds, &options.blocks, &options.tags, &options.ids, &options.map}) {
        if (!input->empty() && insideFolder(*input, options.output))
            throw ldtools::Error("ldview: the input file " + *input + " lies inside the view folder " + options.output +
                                 ", which is replaced\n");
    }
    // The destination is checked, and the temporary folder made, before the long reading.
    ViewFolder folder(options.output);

    Inputs inputs;
    readBounds(options, inputs);
    const std::vector<std::int32_t>& snps = inputs.store.snps();
    if (!options.blocks.empty()) inputs.blocks = readBlocks(options.blocks, snps, options.bounds);
    if (!options.tags.empty()) inputs.tags = readTags(options.tags, snps, options.bounds);
    if (!options.ids.empty()) inputs.ids = readIds(options.ids, snps, inputs.chromosome);
    if (!options.map.empty()) inputs.map = mapAround(readMap(options.map), snps);

    ldtools::WorkerTeam team(options.threads > 0 ? options.threads : std::min(ldtools::processorsOnline(), 8));
    const std::vector<OverviewLevel> levels = buildOverview(inputs.store, options.width - 2 * kMargin, team);
    const std::vector<std::int32_t> tiles = pairTileStarts(inputs.store.ends());

    std::atomic<std::uint64_t> bytes{0};
    auto write = [&](const std::string& name, const std::string& content) {
        folder.writeFile(name, content);
        bytes += content.size();
    };
    folder.makeFolder("data");
    for (const WebFile& file : webFiles()) write(file.name, std::string(file.content));
    write(kStampName, "A view written by ldview: ldview replaces this folder when it writes the view again.\n");

    // The data files, each on its own: level tiles, then pair tiles, spread over the team.
    struct Job {
        int level;  // -1: a pair tile
        std::int64_t from, to;
        std::string name;
    };
    std::vector<Job> jobs;
    for (std::size_t k = 0; k < levels.size(); ++k)
        for (std::int64_t c = 0, t = 0; c < levels[k].width; c += kLevelTileColumns, ++t)
            jobs.push_back({static_cast<int>(k), c, std::min(levels[k].width, c + kLevelTileColumns),
                            dataName('o', k, t)});
    for (std::size_t k = 0; k + 1 < tiles.size(); ++k)
        jobs.push_back({-1, tiles[k], tiles[k + 1], dataName('p', k)});
    ldtools::ProgressLine progress;
    std::atomic<std::size_t> done{0};
    team.forEach(jobs.size(), [&](std::size_t k, int member) {
        checkStop();
        const Job& job = jobs[k];
        const std::string content =
            job.level >= 0 ? levelTileBytes(levels[static_cast<std::size_t>(job.level)], job.from, job.to)
                           : pairTileBytes(inputs.store, static_cast<std::int32_t>(job.from),
                                           static_cast<std::int32_t>(job.to));
        write("data/" + job.name + ".js", dataScript(job.name, content));
        ++done;
        if (member == 0 && progress.due())
            progress.show("ldview: writing " + options.output + ": " + std::to_string(done * 100 / jobs.size()) + "%");
    });
    progress.clear();
    write("data/meta.js", metaScript(options, inputs, levels, tiles));
    if (!options.ids.empty()) write("data/ids.js", idScript(inputs.ids));

    checkStop();
    folder.commit();
    return {snps.size(), inputs.store.size(), inputs.blocks.size(), bytes.load()};
}

}  // namespace ldview
