#include "arguments.hpp"

#include <cstdio>
#include <cstring>

#include "cli.hpp"
#include "error.hpp"

namespace ldtools {
namespace {

const OptionRule* findShort(std::span<const OptionRule> rules, char letter) {
    for (const OptionRule& rule : rules)
        if (!rule.longOnly && rule.letter == letter) return &rule;
    return nullptr;
}

const OptionRule* findLong(std::span<const OptionRule> rules, const std::string& name) {
    for (const OptionRule& rule : rules)
        if (name == rule.name) return &rule;
    return nullptr;
}

}  // namespace

std::string optionName(const OptionRule& rule) {
    return rule.longOnly ? "--" + std::string(rule.name) : std::string("-") + rule.letter;
}

void usageError(const std::string& program, const std::string& message) {
    throw Error(program + ": " + message + " (see " + program + " -h)\n");
}

ArgumentsRead readArguments(const std::vector<std::string>& args, std::span<const OptionRule> rules,
                            const std::string& program,
                            const std::function<void(const OptionRule&, const std::string&)>& onOption,
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
        const OptionRule* rule = nullptr;
        std::string value;
        bool attached = false;
        if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            rule = findLong(rules, arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
            if (rule == nullptr) usageError(program, "unknown option " + arg.substr(0, equals));
            if (equals != std::string::npos) {
                if (!rule->takesValue) usageError(program, arg.substr(0, equals) + " takes no value");
                value = arg.substr(equals + 1);
                attached = true;
            }
        } else {
            rule = findShort(rules, arg[1]);
            if (rule == nullptr || (!rule->takesValue && arg.size() > 2)) usageError(program, "unknown option " + arg);
            if (arg.size() > 2) {
                value = arg.substr(2);
                attached = true;
            }
        }
        if (rule->takesValue && !attached) {
            if (i + 1 >= args.size()) usageError(program, optionName(*rule) + " needs a value");
            value = args[++i];
        }
        if (std::strcmp(rule->name, "help") == 0 || std::strcmp(rule->name, "version") == 0) {
            read.action = rule->name[0] == 'h' ? CommandAction::help : CommandAction::version;
            return read;
        }
        if (read.given.find(rule->letter) != std::string::npos)
            usageError(program, optionName(*rule) + " is given twice");
        read.given.push_back(rule->letter);
        onOption(*rule, value);
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
