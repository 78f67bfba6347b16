#include <gtest/gtest.h>

#include <string>

#include "error.hpp"

namespace {

// Input text quoted in a message keeps the message one printable line: a NUL would cut it short
// when printed, a line break or an escape would garble the terminal.
TEST(Quotable, ControlBytesAreShownAsHexAndTheRestStays) {
    using namespace std::string_literals;
    EXPECT_EQ(ldtools::quotable("chr20 \xc3\xa9t\xc3\xa9"), "chr20 \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(ldtools::quotable("a\0b"s), "a\\x00b");
    EXPECT_EQ(ldtools::quotable("x\ny\r\t\x1b[31m\x7f"), "x\\x0ay\\x0d\\x09\\x1b[31m\\x7f");
}

}  // namespace
