#include "encode.hpp"

#include <libdeflate.h>

#include <memory>
#include <new>
#include <stdexcept>

namespace ldview {

std::string deflateBytes(std::string_view bytes) {
    struct Free {
        void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
    };
    const std::unique_ptr<libdeflate_compressor, Free> compressor(libdeflate_alloc_compressor(6));
    if (!compressor) throw std::bad_alloc();
    std::string out(libdeflate_zlib_compress_bound(compressor.get(), bytes.size()), '\0');
    const std::size_t size =
        libdeflate_zlib_compress(compressor.get(), bytes.data(), bytes.size(), out.data(), out.size());
    if (size == 0) throw std::logic_error("a buffer did not fit its compression bound");
    out.resize(size);
    return out;
}

std::string base64(std::string_view bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t k = 0;
    for (; k + 3 <= bytes.size(); k += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[k]) << 16 | static_cast<unsigned char>(bytes[k + 1]) << 8 |
                           static_cast<unsigned char>(bytes[k + 2]);
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
    }
    if (k + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[k]) << 16;
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], '=', '='};
    } else if (k + 2 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[k]) << 16 | static_cast<unsigned char>(bytes[k + 1]) << 8;
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
    }
    return out;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[(c >> 4) & 15];
            out += kHex[c & 15];
        } else if (c == '/' && k > 0 && text[k - 1] == '<') {
            out += "\\/";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string dataScript(std::string_view name, std::string_view bytes) {
    return "ldviewData(" + jsonString(name) + ",\"" + base64(deflateBytes(bytes)) + "\");\n";
}

}  // namespace ldview
