#include "error.hpp"

#include <cstring>

namespace ldtools {

std::string quotable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static const char digits[] = "0123456789abcdef";
            shown += "\\x";
            shown += digits[byte >> 4];
            shown += digits[byte & 15];
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string systemReason(int code) {
    return code == 0 ? std::string("input/output error") : std::string(std::strerror(code));
}

SystemError::SystemError(const std::string& operation, int code)
    : std::runtime_error(operation + ": " + systemReason(code)), operation_(operation), code_(code) {}

std::string SystemError::reason() const {
    return systemReason(code_);
}

}  // namespace ldtools
