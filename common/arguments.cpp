#include "arguments.hpp"

#include <cstdio>
#include <cstring>

#include "cli.hpp"
#include "error.hpp"

namespace ldtools {
namespace {

const OptionSpec* findShort(std::span<const OptionSpec> specs, char letter) {
    for (const OptionSpec& spec : specs)
        if (!spec.longOnly && spec.letter == letter) return &spec;
    return nullptr;
}

const OptionSpec* findLong(std::span<const OptionSpec> specs, const std::string& name) {
    for (const OptionSpec& spec : specs)
        if (name == spec.name) return &spec;
    return nullptr;
}

}  // namespace

std::string optionName(const OptionSpec& spec) {
    return spec.longOnly ? "--" + std::string(spec.name) : std::string("-") + spec.letter;
}

void usageError(const std::string& program, const std::string& message) {
    throw Error(program + ": " + message + " (see " + program + " -h)\n");
}

ArgumentsRead readArguments(const std::vector<std::string>& args, std::span<const OptionSpec> specs,
                            const std::string& program,
                            const std::function<void(const OptionSpec&, const std::string&)>& onOption,
                            const std::function<void(const std::string&)>& onOperand) {
    ArgumentsRead read;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            onOperand(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        std::string value;
        bool attached = false;
        if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            spec = findLong(specs, arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
            if (spec == nullptr) usageError(program, "unknown option " + arg.substr(0, equals));
            if (equals != std::string::npos) {
                if (!spec->takesValue) usageError(program, arg.substr(0, equals) + " takes no value");
                value = arg.substr(equals + 1);
                attached = true;
            }
        } else {
            spec = findShort(specs, arg[1]);
            if (spec == nullptr || (!spec->takesValue && arg.size() > 2)) usageError(program, "unknown option " + arg);
            if (arg.size() > 2) {
                value = arg.substr(2);
                attached = true;
            }
        }
        if (spec->takesValue && !attached) {
            if (i + 1 >= args.size()) usageError(program, optionName(*spec) + " needs a value");
            value = args[++i];
        }
        if (std::strcmp(spec->name, "help") == 0 || std::strcmp(spec->name, "version") == 0) {
            read.action = spec->name[0] == 'h' ? CommandAction::help : CommandAction::version;
            return read;
        }
        if (read.given.find(spec->letter) != std::string::npos)
            usageError(program, optionName(*spec) + " is given twice");
        read.given.push_back(spec->letter);
        onOption(*spec, value);
    }
    return read;
}

int answerHelpOrVersion(CommandAction action, const char* usage, const std::string& program) {
    const std::string text = action == CommandAction::help ? std::string(usage) : versionLine(program.c_str());
    if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
        std::fputs((program + ": cannot write standard output\n").c_str(), stderr);
        return 1;
    }
    return 0;
}

}  // namespace ldtools
