#pragma once
// Reading a command line the way Unix tools read it: short options (-x VALUE, -xVALUE), long
// options (--name VALUE, --name=VALUE), "--" ending the options, everything else an operand.
// For the programs whose options have this form; the older programs keep their own rules.

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace ldtools {

struct OptionRule {
    char letter;       // the short form, and the key the program switches on
    const char* name;  // the long form, without "--"
    bool takesValue;
    bool longOnly = false;  // no short form: the letter is only a key (such as 'V' for --version)
};

// "-x", or "--name" for a long-only option.
std::string optionName(const OptionRule& rule);

// What a command line asks for: a run, or only the help text or the version.
enum class CommandAction { run, help, version };

struct ArgumentsRead {
    CommandAction action = CommandAction::run;
    std::string given;  // the letters of the options given, in order
};

// Goes through args in order, calling onOption(rule, value) for every option (value empty for
// one without a value) and onOperand(word) for every operand. The options named "help" and
// "version" are not passed on: they stop the reading and set the action. Throws Error
// "PROGRAM: MESSAGE (see PROGRAM -h)\n" for an unknown option, a value given to an option
// without one, a missing value, or an option given twice.
ArgumentsRead readArguments(const std::vector<std::string>& args, std::span<const OptionRule> rules,
                            const std::string& program,
                            const std::function<void(const OptionRule&, const std::string&)>& onOption,
                            const std::function<void(const std::string&)>& onOperand);

// Prints the usage text (help) or "PROGRAM VERSION" (version) on standard output; returns the
// exit status: 0, or 1 with a message when standard output cannot be written.
int answerHelpOrVersion(CommandAction action, const char* usage, const std::string& program);

// The error readArguments throws, for the program's own checks of values.
[[noreturn]] void usageError(const std::string& program, const std::string& message);

}  // namespace ldtools
