// The argument reader under each shape of policy the programs use: what it hands on, in which
// order, and where it stops.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arguments.hpp"
#include "error.hpp"

namespace {

using ldtools::ArgumentPolicy;
using ldtools::CommandAction;
using ldtools::LetterForm;
using ldtools::MissingValue;
using ldtools::OptionRule;
using ldtools::PlainWord;
using ldtools::UnknownLetter;
using ldtools::ValueForm;

// A flag, a letter whose value is attached or the next word, one whose value is only attached,
// one whose value is only the next word, and the whole words --help and --version.
constexpr OptionRule kRules[] = {
    {.letter = 'A'},
    {.letter = 'I', .takesValue = true, .form = ValueForm::attachedOrNext},
    {.letter = 'R', .takesValue = true, .form = ValueForm::attached},
    {.letter = 'd', .takesValue = true, .form = ValueForm::next},
    ldtools::kHelpWord,
    ldtools::kVersionWord,
};

// Only the letter after "-" counts; other words and unknown letters are ignored.
constexpr ArgumentPolicy kFirstLetter{.program = "p", .rules = kRules, .letters = LetterForm::first,
                                      .plainWords = PlainWord::ignored, .unknown = UnknownLetter::ignored,
                                      .missing = MissingValue::empty, .repeats = true, .longOptions = false};
// Runs of letters up to the first plain word; an unknown letter is reported and ends the reading
// after its word.
constexpr ArgumentPolicy kReportedRun{.program = "p", .rules = kRules, .letters = LetterForm::run,
                                      .plainWords = PlainWord::endsOptions, .unknown = UnknownLetter::reported,
                                      .missing = MissingValue::usage, .repeats = true, .longOptions = false,
                                      .usageWithoutWords = true};
// The same with unknown letters ignored.
constexpr ArgumentPolicy kQuietRun{.program = "p", .rules = kRules, .letters = LetterForm::run,
                                   .plainWords = PlainWord::endsOptions, .unknown = UnknownLetter::ignored,
                                   .missing = MissingValue::usage, .repeats = true, .longOptions = false,
                                   .usageWithoutWords = true};
// No letters: every word an operand; --help and --version only alone.
constexpr ArgumentPolicy kNoLetters{.program = "p", .rules = kRules, .letters = LetterForm::none,
                                    .longOptions = false, .help = ldtools::HelpPlace::onlyWord};

constexpr OptionRule kUnixRules[] = {{'o', "output", true}, {'q', "quiet", false}, {'h', "help", false}};
constexpr ArgumentPolicy kUnix{.program = "u", .rules = kUnixRules, .usageWithoutWords = true};

// What the program is told, in order: "X=value" per option, "@word" per operand, "?x" per
// reported letter; then "| help", "| version", "| usage" or "| usage, no value for -x" when the
// reading ended that way, or "! message" when it threw.
std::string told(const ArgumentPolicy& policy, const std::vector<std::string>& args) {
    std::string out;
    try {
        const ldtools::ArgumentsRead read = ldtools::readArguments(
            args, policy,
            {.option = [&](const OptionRule& rule, const std::string& value) { out += std::string(1, rule.letter) + "=" + value + " "; },
             .operand = [&](const std::string& word) { out += "@" + word + " "; },
             .unknown = [&](char letter) { out += std::string("?") + letter + " "; }});
        if (read.action == CommandAction::help) out += "| help";
        if (read.action == CommandAction::version) out += "| version";
        if (read.action == CommandAction::usage) out += "| usage";
        if (read.missingValue != '\0') out += std::string(", no value for -") + read.missingValue;
    } catch (const ldtools::Error& error) {
        out += std::string("! ") + error.what();
    }
    return out;
}

TEST(ArgumentPolicy, FirstLetterValuesAttachedOrNextAndEverythingElseIgnored) {
    EXPECT_EQ(told(kFirstLetter, {"-Ia", "-I", "b", "-Rxy", "-R", "c"}), "I=a I=b R=xy R= ");
    // The next word is a value whatever it holds; at the end there is none, and the value is empty.
    EXPECT_EQ(told(kFirstLetter, {"-I", "-A", "-I"}), "I=-A I= ");
    EXPECT_EQ(told(kFirstLetter, {"-I", "--help"}), "I=--help ");
    // Only the first letter of a flag's word counts; unknown letters, plain words, "-" and "--"
    // are passed over, and so are spellings near --help.
    EXPECT_EQ(told(kFirstLetter, {"-Axyz", "-Z", "foo", "-", "--", "-h", "--helpme", "-help"}), "A= ");
    EXPECT_EQ(told(kFirstLetter, {"-A", "-A"}), "A= A= ");
    // --help or --version answers where it stands: what comes before is read, nothing after.
    EXPECT_EQ(told(kFirstLetter, {"-A", "x", "--version", "-Ib", "--help"}), "A= | version");
    EXPECT_EQ(told(kFirstLetter, {}), "");
}

TEST(ArgumentPolicy, RunsOfLettersStopAtThePlainWordAndAfterAReportedLetter) {
    EXPECT_EQ(told(kReportedRun, {"-d", "x", "-Ad", "y", "z", "-d", "w"}), "d=x A= d=y ");
    // A value-taking letter ends its word; its value is the next word whatever it holds.
    EXPECT_EQ(told(kReportedRun, {"-dA", "-x", "-d", "--help"}), "d=-x d=--help ");
    // The rest of a word is read after an unknown letter, no later word is.
    EXPECT_EQ(told(kReportedRun, {"-xd", "v", "-d", "w"}), "?x d=v | usage");
    EXPECT_EQ(told(kReportedRun, {"-x", "--version"}), "?x | usage");
    EXPECT_EQ(told(kReportedRun, {"--"}), "?- | usage");
    // A value-taking letter as the last word ends the reading at once.
    EXPECT_EQ(told(kReportedRun, {"-A", "-d"}), "A= | usage, no value for -d");
    EXPECT_EQ(told(kReportedRun, {"-xd"}), "?x | usage, no value for -d");
    // "-" alone and repeats; an empty word ends the options as any plain word.
    EXPECT_EQ(told(kReportedRun, {"-", "-d", "a", "-d", "b", "", "-x"}), "d=a d=b ");
    EXPECT_EQ(told(kReportedRun, {"-d", "a", "--help", "-x"}), "d=a | help");
    EXPECT_EQ(told(kReportedRun, {}), "| usage");
    EXPECT_EQ(told(kReportedRun, {"file", "-x"}), "");

    EXPECT_EQ(told(kQuietRun, {"-x", "-yd", "a", "-dA", "b", "-d"}), "d=a d=b | usage, no value for -d");
    EXPECT_EQ(told(kQuietRun, {"-dd", "a", "b", "-d", "c"}), "d=a ");
}

TEST(ArgumentPolicy, WithoutLettersEveryWordIsAnOperandAndHelpOnlyAlone) {
    EXPECT_EQ(told(kNoLetters, {"-5", "--", "-d", "x"}), "@-5 @-- @-d @x ");
    EXPECT_EQ(told(kNoLetters, {"--help"}), "| help");
    EXPECT_EQ(told(kNoLetters, {"--version"}), "| version");
    EXPECT_EQ(told(kNoLetters, {"--help", "3"}), "@--help @3 ");
    EXPECT_EQ(told(kNoLetters, {"3", "--version"}), "@3 @--version ");
    EXPECT_EQ(told(kNoLetters, {}), "");
}

TEST(ArgumentPolicy, UnixStyleEmptyLineDashAndDoubleDash) {
    EXPECT_EQ(told(kUnix, {}), "| usage");
    EXPECT_EQ(told(kUnix, {"-", "--output", "x", "--", "--help", "-q"}), "@- o=x @--help @-q ");
    EXPECT_EQ(told(kUnix, {"-q", "--output="}), "q= o= ");
    EXPECT_EQ(told(kUnix, {"-o"}), "! u: -o needs a value (see u -h)\n");
    EXPECT_EQ(told(kUnix, {"-q", "--quiet"}), "q= ! u: -q is given twice (see u -h)\n");
    EXPECT_EQ(told(kUnix, {"-o", "a", "--help", "-o", "b"}), "o=a | help");
}

}  // namespace
