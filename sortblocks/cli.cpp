#include "cli.hpp"

#include <cstdio>
#include <new>
#include <optional>

#include "blockformat.hpp"
#include "error.hpp"
#include "reader.hpp"
#include "replacefile.hpp"
#include "writer.hpp"

namespace sortblocks {
namespace {

const char kUsage[] =
    "Usage: sortblocks [-o OUTPUT] BLOCKS\n"
    "\n"
    "Writes the block file BLOCKS (ldtile's blocks, in search order; - for standard input) with\n"
    "its first line as it is and the other lines in ascending order of the position they begin\n"
    "with: the order haplotypes reads blocks in.\n"
    "\n"
    "  -o, --output FILE   write FILE, replaced only when the whole file is sorted\n"
    "                      (default: standard output)\n"
    "  -h, --help          show this help\n"
    "      --version       show the version\n";

using ldtools::OptionRule;

constexpr OptionRule kOptions[] = {
    {'o', "output", true},
    {'h', "help", false},
    {'V', "version", false, true},
};

[[noreturn]] void usageError(const std::string& message) {
    ldtools::usageError("sortblocks", message);
}

[[noreturn]] void fail(const std::string& message) {
    throw ldtools::Error("sortblocks: " + message + "\n");
}

std::string shownName(const std::string& name) {
    return name == "-" ? std::string("standard input") : name;
}

// The whole file: block files hold a line per block.
std::string readWhole(const std::string& name) {
    std::optional<ldtools::FileReader> file;
    try {
        file.emplace(name == "-" ? std::string("/dev/stdin") : name);
    } catch (const ldtools::SystemError& error) {
        fail("cannot open " + shownName(name) + ": " + error.reason());
    }
    std::string content;
    try {
        char chunk[1 << 16];
        for (std::size_t got; (got = file->read(chunk, sizeof chunk)) > 0;) content.append(chunk, got);
    } catch (const ldtools::SystemError& error) {
        fail("cannot read " + shownName(name) + ": " + error.reason());
    }
    return content;
}

void writeWhole(const std::string& output, const std::string& text) {
    if (output.empty()) {
        try {
            ldtools::writeAll(1, text.data(), text.size());
        } catch (const ldtools::SystemError& error) {
            fail("cannot write standard output: " + error.reason());
        }
        return;
    }
    try {
        ldtools::ReplacementFile file(output);
        ldtools::writeAll(file.fd(), text.data(), text.size());
        file.commit();
    } catch (const ldtools::SystemError& error) {
        fail("cannot write " + output + ": " + error.reason());
    }
}

}  // namespace

const char* usageText() {
    return kUsage;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine command;
    std::vector<std::string> operands;
    const ldtools::ArgumentsRead read = ldtools::readArguments(
        args, kOptions, "sortblocks",
        [&](const OptionRule&, const std::string& value) {
            if (value.empty()) usageError("the file name of -o is empty");
            command.output = value;
        },
        [&](const std::string& operand) { operands.push_back(operand); });
    command.action = read.action;
    if (command.action != ldtools::CommandAction::run) return command;
    if (operands.size() != 1) usageError("expected one block file");
    if (operands[0].empty()) usageError("the name of the block file is empty");
    command.input = operands[0];
    return command;
}

void sortBlocks(const CommandLine& command) {
    writeWhole(command.output, ldtools::sortBlockFile(readWhole(command.input)));
}

int runCommandLine(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    try {
        const CommandLine command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (command.action != ldtools::CommandAction::run)
            return ldtools::answerCommand(command.action, kUsage, "sortblocks");
        sortBlocks(command);
        return 0;
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    } catch (const std::bad_alloc&) {
        std::fputs("sortblocks: not enough memory\n", stderr);
        return 1;
    }
}

}  // namespace sortblocks
