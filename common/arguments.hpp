#pragma once
// The one reader of the programs' command lines. Each program states its own rules in an
// ArgumentPolicy: the letters it knows and how each takes its value, what the words that are not
// options are, what ends the reading, what an unknown letter or a missing value does, where
// --help and --version are read. The reader walks the words and tells the program what it met,
// in order; the program prints its own echo lines, messages and usage text and picks its exit
// status. Only the faults a policy makes errors have messages of the reader's own (see
// readArguments), those of the Unix-style programs.

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace ldtools {

// How a value-taking letter gets its value.
enum class ValueForm {
    attachedOrNext,  // "-xVALUE", or "-x VALUE" (the next word, whatever it holds)
    attached,        // "-xVALUE" only: a bare "-x" has the empty value
    next,            // "-x VALUE" only: the next word, whatever it holds
};

struct OptionRule {
    char letter;             // the short form, and the key the program switches on
    const char* name = "";   // the long form, without "--"; "" for none
    bool takesValue = false;
    bool longOnly = false;   // no short form: the letter is only a key (such as 'V' for --version)
    ValueForm form = ValueForm::attachedOrNext;
};

// The rules of the whole words --help and --version, for the programs without long options.
inline constexpr OptionRule kHelpWord{.letter = 'h', .name = "help", .longOnly = true};
inline constexpr OptionRule kVersionWord{.letter = 'V', .name = "version", .longOnly = true};

// How the letters of an option word (a word that begins with "-") are read.
enum class LetterForm {
    // "-x", "-xVALUE" or "-x VALUE"; a flag's letter followed by more makes the word unknown.
    // A lone "-" is a plain word (it conventionally names standard input).
    single,
    // Only the letter after "-" counts: a value-taking letter takes its value by its form (the
    // rest of the word is the attached value), the rest of a flag's word is ignored. A lone "-"
    // is an option word without letters.
    first,
    // "-abc": every letter is an option, up to the first value-taking one, which takes its value
    // and ends the word. A lone "-" is an option word without letters.
    run,
    // The program has no option letters: every word is a plain word.
    none,
};

// What a plain word (one that does not begin with "-") is.
enum class PlainWord {
    operand,      // handed to the program
    ignored,      // skipped; the options after it are still read
    endsOptions,  // the reading stops: it and every later word are left unread
};

// What a letter that no rule knows does.
enum class UnknownLetter {
    error,     // throws "unknown option WORD"
    ignored,   // skipped
    reported,  // handed to the program; the rest of its word is still read, no later word, and
               // the reading ends with CommandAction::usage
};

// What a value-taking letter does when no value is left (the last word, nothing attached).
enum class MissingValue {
    error,  // throws "-x needs a value"
    empty,  // the empty value
    usage,  // the reading stops with CommandAction::usage and ArgumentsRead::missingValue
};

// Where the rules named "help" and "version" are read.
enum class HelpPlace {
    optionWord,  // wherever an option word is read (not as the value of another option)
    onlyWord,    // only as the one word of the command line
};

// The defaults are the Unix conventions of the newer programs: single letters, long options,
// "--", operands; an unknown option, a missing value or a repeat is an error.
struct ArgumentPolicy {
    const char* program;                // names the program in the reader's own messages
    std::span<const OptionRule> rules;  // the rules named "help" and "version" answer those words
    LetterForm letters = LetterForm::single;
    PlainWord plainWords = PlainWord::operand;
    UnknownLetter unknown = UnknownLetter::error;
    MissingValue missing = MissingValue::error;
    bool repeats = false;            // an option may be given again (false: "given twice" error)
    bool longOptions = true;         // "--name", "--name=VALUE", "--name VALUE"; "--" ends the options
    bool usageWithoutWords = false;  // an empty command line asks for the usage text
    HelpPlace help = HelpPlace::optionWord;
};

// What a command line asks for: a run, the help text, the version, or the usage text (the
// command line is refused or empty, as the policy says).
enum class CommandAction { run, help, version, usage };

struct ArgumentsRead {
    CommandAction action = CommandAction::run;
    std::string given;         // the letters of the options given, in order
    char missingValue = '\0';  // the letter without its value, when that ended the reading
};

// What the program does with each thing the reader meets; a handler may throw to end the reading.
struct ArgumentHandlers {
    std::function<void(const OptionRule&, const std::string&)> option = {};  // value empty for a flag
    std::function<void(const std::string&)> operand = {};  // plain words that are operands
    std::function<void(char)> unknown = {};                // letters reported as unknown
};

// Reads args (the words after the program name) by the policy. The rules named "help" and
// "version" are not handed on: they stop the reading and set the action. The reader's own
// faults throw Error "PROGRAM: MESSAGE (see PROGRAM -h)\n": an unknown option, a value given to
// a flag, a missing value, an option given twice, as far as the policy makes them errors.
ArgumentsRead readArguments(const std::vector<std::string>& args, const ArgumentPolicy& policy,
                            const ArgumentHandlers& handlers);

// The same with the default policy.
ArgumentsRead readArguments(const std::vector<std::string>& args, std::span<const OptionRule> rules,
                            const std::string& program,
                            const std::function<void(const OptionRule&, const std::string&)>& onOption,
                            const std::function<void(const std::string&)>& onOperand);

// The words of a command line after the program's name (none for argc below 2).
std::vector<std::string> wordsAfterName(int argc, const char* const* argv);

// "-x", or "--name" for a long-only option.
std::string optionName(const OptionRule& rule);

// "PROGRAM VERSION\n", what --version prints on standard output.
std::string versionLine(const char* program);

// For the Unix-style programs: prints the usage text (help) or "PROGRAM VERSION" (version) on
// standard output and returns 0 (1 with a message when standard output cannot be written); for
// CommandAction::usage prints the usage text on standard error and returns 1.
int answerCommand(CommandAction action, const char* usage, const std::string& program);

// The error readArguments throws, for the program's own checks of values.
[[noreturn]] void usageError(const std::string& program, const std::string& message);

// The value of an option that takes a whole number from low to high; anything else is the
// program's usage error "OPTION takes a whole number from LOW to HIGH, not 'TEXT'".
int wholeOptionValue(const std::string& program, const std::string& text, const char* option, int low, int high);

}  // namespace ldtools
