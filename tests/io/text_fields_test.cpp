// Text helpers: blanking, closing up, the integer read format of a typed number.
#include <gtest/gtest.h>

#include <string>

#include "io/text_fields.hpp"

using namespace kestrovan;

TEST(TextHelpers, BlankStringcleanIntfrm) {
    std::string t = "abcdef";
    blank(t, 3);
    EXPECT_EQ(t, "   def");
    blank(t, -2);
    EXPECT_EQ(t, "   def");

    std::string s = "my site_out_v45_v2b .txt    ";
    stringclean(s, static_cast<int>(s.size()));
    EXPECT_EQ(s, "mysite_out_v45_v2b.txt      ");
    std::string last = "a b";  // a non-blank last character is not doubled
    stringclean(last, 3);
    EXPECT_EQ(last, "ab ");

    std::string n = "  42  ";
    EXPECT_EQ(intfrm(n), "(i2)");
    EXPECT_EQ(n, "42    ");
    EXPECT_EQ(read_int_format(n, "(i2)"), 42);
    std::string twelve = "123456789012";
    EXPECT_EQ(intfrm(twelve), "(i12)");
    std::string empty = "    ";
    EXPECT_EQ(intfrm(empty), "(i0)");
    EXPECT_EQ(read_int_format(empty, "(i0)"), std::nullopt);
    std::string neg = " -7";
    EXPECT_EQ(read_int_format(neg, intfrm(neg)), -7);
    EXPECT_EQ(read_int_format("x1", "(i2)"), std::nullopt);
}
