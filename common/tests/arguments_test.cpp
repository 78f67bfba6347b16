#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "arguments.hpp"
#include "error.hpp"

namespace {

using ldtools::OptionRule;

constexpr OptionRule kRules[] = {
    {'o', "output", true}, {'q', "quiet", false}, {'h', "help", false}, {'V', "version", false, true}};

// Reads args and records what the program would see: "-x=value" per option, "@word" per operand,
// then "help" or "version" when the reading stopped there.
std::vector<std::string> seen(const std::vector<std::string>& args) {
    std::vector<std::string> out;
    const ldtools::ArgumentsRead read = ldtools::readArguments(
        args, kRules, "prog",
        [&](const OptionRule& rule, const std::string& value) { out.push_back(std::string(1, rule.letter) + "=" + value); },
        [&](const std::string& word) { out.push_back("@" + word); });
    if (read.action == ldtools::CommandAction::help) out.push_back("help");
    if (read.action == ldtools::CommandAction::version) out.push_back("version");
    return out;
}

std::string failure(const std::vector<std::string>& args) {
    try {
        seen(args);
    } catch (const ldtools::Error& error) {
        return error.what();
    }
    return "no error";
}

TEST(ReadArguments, EveryFormOfValueAndOperandInOrder) {
    EXPECT_EQ(seen({"-ob", "in", "-", "--quiet"}), (std::vector<std::string>{"o=b", "@in", "@-", "q="}));
    EXPECT_EQ(seen({"--output", "c", "-q"}), (std::vector<std::string>{"o=c", "q="}));
    EXPECT_EQ(seen({"--output=d"}), (std::vector<std::string>{"o=d"}));
    EXPECT_EQ(seen({"--output="}), (std::vector<std::string>{"o="}));
    // "--" ends the options; a value word is taken whatever it looks like.
    EXPECT_EQ(seen({"-o", "-q", "--", "-q", "--output"}), (std::vector<std::string>{"o=-q", "@-q", "@--output"}));
    // Help and version stop the reading, before a later fault would be seen.
    EXPECT_EQ(seen({"-q", "-h", "--bogus", "-q"}), (std::vector<std::string>{"q=", "help"}));
    EXPECT_EQ(seen({"--version", "-x"}), (std::vector<std::string>{"version"}));
}

TEST(ReadArguments, FaultsNameTheOptionAndPointToTheHelp) {
    EXPECT_EQ(failure({"-x"}), "prog: unknown option -x (see prog -h)\n");
    EXPECT_EQ(failure({"-V"}), "prog: unknown option -V (see prog -h)\n");  // long-only
    EXPECT_EQ(failure({"--bogus=1"}), "prog: unknown option --bogus (see prog -h)\n");
    EXPECT_EQ(failure({"-qq"}), "prog: unknown option -qq (see prog -h)\n");
    EXPECT_EQ(failure({"--quiet=1"}), "prog: --quiet takes no value (see prog -h)\n");
    EXPECT_EQ(failure({"in", "-o"}), "prog: -o needs a value (see prog -h)\n");
    EXPECT_EQ(failure({"-o", "a", "--output=b"}), "prog: -o is given twice (see prog -h)\n");
}

}  // namespace
