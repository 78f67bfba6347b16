#include <gtest/gtest.h>

#include "numbers.hpp"

namespace {

using ldtools::WholeNumber;

WholeNumber parse(const char* text, std::int32_t& value) { return ldtools::parseInt32(text, value); }

TEST(ParseInt32, AcceptsSignedDigitsUpToBothEndsOfTheRange) {
    std::int32_t value = 0;
    EXPECT_EQ(parse("2147483647", value), WholeNumber::ok);
    EXPECT_EQ(value, 2147483647);
    EXPECT_EQ(parse("-2147483648", value), WholeNumber::ok);
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_EQ(parse("+0007", value), WholeNumber::ok);
    EXPECT_EQ(value, 7);
}

TEST(ParseInt32, TellsOutOfRangeFromNotANumber) {
    std::int32_t value = 42;
    EXPECT_EQ(parse("2147483648", value), WholeNumber::outOfRange);
    EXPECT_EQ(parse("-2147483649", value), WholeNumber::outOfRange);
    EXPECT_EQ(parse("99999999999999999999999", value), WholeNumber::outOfRange);
    for (const char* text : {"", "+", "-", "1.0", "1e3", " 1", "1 ", "0x10", "--1", "12a"})
        EXPECT_EQ(parse(text, value), WholeNumber::notWhole) << "'" << text << "'";
    EXPECT_EQ(value, 42);  // untouched by a failed parse
}

}  // namespace
