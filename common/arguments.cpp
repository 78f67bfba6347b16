#include "arguments.hpp"

#include <cstdio>
#include <cstring>

#include "error.hpp"
#include "numbers.hpp"
#include "version.hpp"

namespace ldtools {
namespace {

bool named(const OptionRule& rule, const char* name) {
    return std::strcmp(rule.name, name) == 0;
}

bool answersHelp(const OptionRule& rule) {
    return named(rule, "help") || named(rule, "version");
}

// One pass over the words of a command line.
class Reading {
public:
    Reading(const std::vector<std::string>& args, const ArgumentPolicy& policy, const ArgumentHandlers& handlers)
        : args_(args), policy_(policy), handlers_(handlers) {}

    ArgumentsRead run() {
        if (args_.empty() && policy_.usageWithoutWords) {
            read_.action = CommandAction::usage;
            return read_;
        }
        if (policy_.help == HelpPlace::onlyWord && args_.size() == 1 && helpWord(args_[0])) return read_;
        bool optionsEnded = false;
        while (next_ < args_.size()) {
            const std::string& word = args_[next_++];
            if (optionsEnded) {
                handlers_.operand(word);
            } else if (!optionWord(word)) {
                if (policy_.plainWords == PlainWord::endsOptions) break;
                if (policy_.plainWords == PlainWord::operand) handlers_.operand(word);
            } else if (policy_.longOptions && word == "--") {
                optionsEnded = true;
            } else if (policy_.longOptions && word[1] == '-') {
                if (!longOption(word)) break;
            } else if (!policy_.longOptions && policy_.help == HelpPlace::optionWord && helpWord(word)) {
                break;
            } else if (!letters(word) || reported_) {
                if (reported_) read_.action = CommandAction::usage;
                break;
            }
        }
        return read_;
    }

private:
    bool optionWord(const std::string& word) const {
        if (policy_.letters == LetterForm::none || word.empty() || word[0] != '-') return false;
        return policy_.letters != LetterForm::single || word.size() >= 2;
    }

    // Where HelpPlace::onlyWord holds, the help and version rules answer nothing else.
    bool usable(const OptionRule& rule) const {
        return policy_.help == HelpPlace::optionWord || !answersHelp(rule);
    }

    const OptionRule* findShort(char letter) const {
        for (const OptionRule& rule : policy_.rules)
            if (!rule.longOnly && rule.letter == letter && usable(rule)) return &rule;
        return nullptr;
    }

    const OptionRule* findLong(const std::string& name) const {
        for (const OptionRule& rule : policy_.rules)
            if (*rule.name != '\0' && name == rule.name && usable(rule)) return &rule;
        return nullptr;
    }

    // The whole word "--help" or "--version", where a rule of that name exists.
    bool helpWord(const std::string& word) {
        for (const OptionRule& rule : policy_.rules) {
            if (answersHelp(rule) && word == "--" + std::string(rule.name)) {
                read_.action = named(rule, "help") ? CommandAction::help : CommandAction::version;
                return true;
            }
        }
        return false;
    }

    // Each of these returns false when the reading stops (help, version, a missing value).
    bool longOption(const std::string& word) {
        const std::size_t equals = word.find('=');
        const std::string spelt = word.substr(0, equals);
        const OptionRule* rule = findLong(spelt.substr(2));
        if (rule == nullptr) {
            unknown('-', spelt);
            return true;
        }
        std::string value;
        if (equals != std::string::npos) {
            if (!rule->takesValue) usageError(policy_.program, spelt + " takes no value");
            value = word.substr(equals + 1);
        } else if (rule->takesValue && !takeValue(*rule, "", value)) {
            return false;
        }
        return apply(*rule, value);
    }

    bool letters(const std::string& word) {
        if (policy_.letters == LetterForm::run) {
            for (std::size_t at = 1; at < word.size(); ++at) {
                const OptionRule* rule = findShort(word[at]);
                if (rule == nullptr) {
                    unknown(word[at], word);
                } else if (!rule->takesValue) {
                    if (!apply(*rule, "")) return false;
                } else {
                    std::string value;
                    return takeValue(*rule, word.substr(at + 1), value) && apply(*rule, value);
                }
            }
            return true;
        }
        if (word.size() < 2) return true;
        const OptionRule* rule = findShort(word[1]);
        // In the single form a flag's letter must end its word.
        if (rule == nullptr || (policy_.letters == LetterForm::single && !rule->takesValue && word.size() > 2)) {
            unknown(word[1], word);
            return true;
        }
        std::string value;
        if (rule->takesValue && !takeValue(*rule, word.substr(2), value)) return false;
        return apply(*rule, value);
    }

    bool takeValue(const OptionRule& rule, const std::string& attached, std::string& value) {
        if (rule.form == ValueForm::attached || (rule.form == ValueForm::attachedOrNext && !attached.empty())) {
            value = attached;
            return true;
        }
        if (next_ < args_.size()) {
            value = args_[next_++];
            return true;
        }
        switch (policy_.missing) {
            case MissingValue::error: usageError(policy_.program, optionName(rule) + " needs a value");
            case MissingValue::empty: value.clear(); return true;
            case MissingValue::usage: break;
        }
        read_.action = CommandAction::usage;
        read_.missingValue = rule.letter;
        return false;
    }

    void unknown(char letter, const std::string& word) {
        switch (policy_.unknown) {
            case UnknownLetter::error: usageError(policy_.program, "unknown option " + word);
            case UnknownLetter::ignored: return;
            case UnknownLetter::reported:
                handlers_.unknown(letter);
                reported_ = true;
                return;
        }
    }

    bool apply(const OptionRule& rule, const std::string& value) {
        if (answersHelp(rule)) {
            read_.action = named(rule, "help") ? CommandAction::help : CommandAction::version;
            return false;
        }
        if (!policy_.repeats && read_.given.find(rule.letter) != std::string::npos)
            usageError(policy_.program, optionName(rule) + " is given twice");
        read_.given.push_back(rule.letter);
        handlers_.option(rule, value);
        return true;
    }

    const std::vector<std::string>& args_;
    const ArgumentPolicy& policy_;
    const ArgumentHandlers& handlers_;
    ArgumentsRead read_;
    std::size_t next_ = 0;   // the next word to read
    bool reported_ = false;  // an unknown letter was reported
};

}  // namespace

ArgumentsRead readArguments(const std::vector<std::string>& args, const ArgumentPolicy& policy,
                            const ArgumentHandlers& handlers) {
    return Reading(args, policy, handlers).run();
}

ArgumentsRead readArguments(const std::vector<std::string>& args, std::span<const OptionRule> rules,
                            const std::string& program,
                            const std::function<void(const OptionRule&, const std::string&)>& onOption,
                            const std::function<void(const std::string&)>& onOperand) {
    return readArguments(args, {.program = program.c_str(), .rules = rules}, {.option = onOption, .operand = onOperand});
}

std::vector<std::string> wordsAfterName(int argc, const char* const* argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

std::string optionName(const OptionRule& rule) {
    return rule.longOnly ? "--" + std::string(rule.name) : std::string("-") + rule.letter;
}

std::string versionLine(const char* program) {
    return std::string(program) + " " + kVersion + "\n";
}

void usageError(const std::string& program, const std::string& message) {
    throw Error(program + ": " + message + " (see " + program + " -h)\n");
}

int wholeOptionValue(const std::string& program, const std::string& text, const char* option, int low, int high) {
    std::int32_t value = 0;
    if (parseInt32(text, value) != WholeNumber::ok || value < low || value > high)
        usageError(program, std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
                                std::to_string(high) + ", not '" + text + "'");
    return value;
}

int answerCommand(CommandAction action, const char* usage, const std::string& program) {
    if (action == CommandAction::usage) {
        std::fputs(usage, stderr);
        return 1;
    }
    const std::string text = action == CommandAction::help ? std::string(usage) : versionLine(program.c_str());
    if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
        std::fputs((program + ": cannot write standard output\n").c_str(), stderr);
        return 1;
    }
    return 0;
}

}  // namespace ldtools
