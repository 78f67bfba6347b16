#include "output.hpp"

#include "error.hpp"

namespace vcf2markers {
namespace {

ldtools::ReplacementFile openFile(const std::string& path) try {
    return ldtools::ReplacementFile(path);
} catch (const ldtools::SystemError& error) {
    throw ldtools::Error("vcf2markers: cannot write " + path + ": " + error.reason() + "\n");
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : file_(openFile(path)), out_(file_.fd()) {}

void OutputFile::failWrite(const ldtools::SystemError& error) const {
    throw ldtools::Error("vcf2markers: cannot write " + file_.path() + ": " + error.reason() + "\n");
}

void OutputFile::flush() {
    try {
        out_.flush();
    } catch (const ldtools::SystemError& error) {
        failWrite(error);
    }
}

void OutputFile::commit() {
    flush();
    try {
        file_.commit();
    } catch (const ldtools::SystemError& error) {
        failWrite(error);
    }
}

}  // namespace vcf2markers
