#include "viewfiles.hpp"

#include <htslib/bgzf.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "scratch.hpp"

namespace ldviewtest {

namespace fs = std::filesystem;

namespace {

std::string hundredths(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", value / 100.0);
    return text;
}

std::string base64Decode(const std::string& text) {
    auto digit = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') break;
        const int d = digit(c);
        if (d < 0) throw std::runtime_error("not base64");
        bits = bits << 6 | static_cast<unsigned>(d);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string inflateBytes(const std::string& bytes) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) throw std::runtime_error("inflateInit");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    std::string out;
    char chunk[1 << 16];
    int status;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            inflateEnd(&stream);
            throw std::runtime_error("not zlib data");
        }
        out.append(chunk, sizeof chunk - stream.avail_out);
    } while (status != Z_STREAM_END);
    inflateEnd(&stream);
    return out;
}

std::int32_t int32At(const std::string& bytes, std::size_t k) {
    std::uint32_t value = 0;
    for (int b = 3; b >= 0; --b) value = value << 8 | static_cast<unsigned char>(bytes[4 * k + b]);
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::string boundsText(const std::vector<Record>& records) {
    std::string text;
    for (const Record& r : records)
        text += std::to_string(r.first) + "\t" + std::to_string(r.second) + "\t\t" + hundredths(r.lower) + "\t" +
                hundredths(r.upper) + "\n";
    return text;
}

std::string indexedText(const std::vector<Record>& records, const std::string& chromosome) {
    std::string text = "#chrom\tpos1\tpos2\tlower\tupper\n";
    for (const Record& r : records)
        text += chromosome + "\t" + std::to_string(r.first) + "\t" + std::to_string(r.second) + "\t" +
                hundredths(r.lower) + "\t" + hundredths(r.upper) + "\n";
    return text;
}

void writeGzip(const std::string& path, const std::string& text) {
    gzFile file = gzopen(path.c_str(), "wb");
    if (file == nullptr || gzwrite(file, text.data(), static_cast<unsigned>(text.size())) != static_cast<int>(text.size()) ||
        gzclose(file) != Z_OK)
        throw std::runtime_error("cannot write " + path);
}

void writeBgzf(const std::string& path, const std::string& text) {
    BGZF* file = bgzf_open(path.c_str(), "w");
    if (file == nullptr || bgzf_write(file, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        bgzf_close(file) != 0)
        throw std::runtime_error("cannot write " + path);
}

std::vector<Record> randomRecords(int snps, unsigned seed, double missing, int maxGap) {
    std::mt19937 random(seed);
    std::vector<std::int32_t> positions;
    std::int32_t p = 1000 + static_cast<std::int32_t>(random() % 1000);
    for (int i = 0; i < snps; ++i) {
        positions.push_back(p);
        p += 40 + static_cast<std::int32_t>(random() % static_cast<unsigned>(maxGap - 40));
    }
    std::vector<Record> records;
    std::uniform_real_distribution<double> share(0.0, 1.0);
    for (int a = 0; a < snps; ++a) {
        for (int b = a + 1; b < snps; ++b) {
            // A few pairs farther apart than the window, as linkstat writes none but files may hold.
            const bool far = positions[b] - positions[a] >= 200000;
            if (far && share(random) > 0.02) break;
            if (!far && share(random) < missing) continue;
            const int upper = static_cast<int>(random() % 101);
            const int lower = static_cast<int>(random() % (upper + 1));
            records.push_back({positions[a], positions[b], lower, upper});
        }
    }
    return records;
}

std::string dataBytes(const std::string& script) {
    const std::string head = "ldviewData(\"";
    const std::size_t open = script.find("\",\"");
    if (script.compare(0, head.size(), head) != 0 || open == std::string::npos) throw std::runtime_error("not a data script");
    const std::size_t close = script.find('"', open + 3);
    if (script.substr(close) != "\");\n") throw std::runtime_error("not a data script");
    return inflateBytes(base64Decode(script.substr(open + 3, close - open - 3)));
}

std::string metaField(const std::string& meta, const std::string& key) {
    const std::string quoted = "\"" + key + "\":";
    const std::size_t at = meta.find(quoted);
    if (at == std::string::npos) throw std::runtime_error("no " + key + " in meta.js");
    std::size_t k = at + quoted.size();
    const std::size_t start = k;
    int depth = 0;
    bool inString = false;
    for (; k < meta.size(); ++k) {
        const char c = meta[k];
        if (inString) {
            if (c == '\\') ++k;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '[' || c == '{') ++depth;
        else if (c == ']' || c == '}') {
            if (depth == 0) break;
            --depth;
        } else if (c == ',' && depth == 0) break;
    }
    return meta.substr(start, k - start);
}

std::vector<std::int64_t> numbers(const std::string& jsonArray) {
    std::vector<std::int64_t> values;
    std::size_t k = 0;
    while (k < jsonArray.size()) {
        if (jsonArray[k] == '-' || (jsonArray[k] >= '0' && jsonArray[k] <= '9')) {
            std::size_t used = 0;
            values.push_back(std::stoll(jsonArray.substr(k), &used));
            k += used;
        } else {
            ++k;
        }
    }
    return values;
}

View readView(const std::string& folder) {
    View view;
    const std::string script = testsupport::readFile(folder + "/data/meta.js");
    const std::string head = "ldviewData(\"meta\",";
    if (script.compare(0, head.size(), head) != 0) throw std::runtime_error("meta.js does not call ldviewData");
    view.meta = script.substr(head.size());

    const std::string positions = dataBytes("ldviewData(\"x\"," + metaField(view.meta, "positions") + ");\n");
    std::int32_t p = 0;
    for (std::size_t k = 0; k < positions.size() / 4; ++k)
        view.snps.push_back(p = static_cast<std::int32_t>(static_cast<std::uint32_t>(p) +
                                                          static_cast<std::uint32_t>(int32At(positions, k))));
    const std::int64_t window = std::stoll(metaField(view.meta, "window"));
    const auto n = static_cast<std::int32_t>(view.snps.size());
    std::vector<std::int32_t> ends(view.snps.size());
    for (std::int32_t a = 0, end = 0; a < n; ++a) {
        end = std::max(end, a);
        while (end + 1 < n && view.snps[end + 1] - view.snps[a] < window) ++end;
        ends[a] = end;
    }

    for (std::int64_t start : numbers(metaField(view.meta, "pairTiles"))) view.tileStarts.push_back(static_cast<std::int32_t>(start));
    for (std::size_t t = 0; t + 1 < view.tileStarts.size(); ++t) {
        const std::string bytes = dataBytes(testsupport::readFile(folder + "/data/p" + std::to_string(t) + ".js"));
        std::size_t k = 0;
        for (std::int32_t a = view.tileStarts[t]; a < view.tileStarts[t + 1]; ++a) {
            for (std::int32_t b = a + 1; b <= ends[a]; ++b, k += 2) {
                if (k + 1 >= bytes.size()) throw std::runtime_error("pair tile " + std::to_string(t) + " is short");
                const int lower = static_cast<unsigned char>(bytes[k]);
                const int upper = static_cast<unsigned char>(bytes[k + 1]);
                if (lower == 255 && upper == 255)
                    ++view.noRecords;
                else
                    view.records.push_back({view.snps[a], view.snps[b], lower, upper});
            }
        }
        if (k != bytes.size()) throw std::runtime_error("pair tile " + std::to_string(t) + " is long");
    }

    const std::int64_t tileColumns = std::stoll(metaField(view.meta, "levelTileColumns"));
    const std::vector<std::int64_t> shape = numbers(metaField(view.meta, "levels"));
    for (std::size_t k = 0; k + 1 < shape.size(); k += 2) {
        View::Level level{shape[k], shape[k + 1], {}};
        level.classes.assign(static_cast<std::size_t>(level.width * level.rows), 0);
        for (std::int64_t from = 0, t = 0; from < level.width; from += tileColumns, ++t) {
            const std::int64_t width = std::min(tileColumns, level.width - from);
            const std::string bytes = dataBytes(testsupport::readFile(
                folder + "/data/o" + std::to_string(k / 2) + "_" + std::to_string(t) + ".js"));
            if (static_cast<std::int64_t>(bytes.size()) != width * level.rows) throw std::runtime_error("level tile size");
            for (std::int64_t r = 0; r < level.rows; ++r)
                std::copy_n(bytes.begin() + r * width, width, level.classes.begin() + r * level.width + from);
        }
        view.levels.push_back(std::move(level));
    }
    return view;
}

std::map<std::string, std::string> folderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = testsupport::readFile(entry.path());
    return files;
}

}  // namespace ldviewtest
