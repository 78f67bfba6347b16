#include "error.hpp"

#include <cstring>

namespace ldtools {

std::string systemReason(int code) {
    return code == 0 ? std::string("input/output error") : std::string(std::strerror(code));
}

SystemError::SystemError(const std::string& operation, int code)
    : std::runtime_error(operation + ": " + systemReason(code)), operation_(operation), code_(code) {}

std::string SystemError::reason() const {
    return systemReason(code_);
}

}  // namespace ldtools
