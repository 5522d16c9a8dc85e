// Reals as typed and as data files write them: the plain decimals take a faster path, which must
// read every text to the very double strtod reads, and the other forms still read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "console/freeform.hpp"

using namespace kestrovan;

TEST(ParseReal, DecimalsReadAsStrtodReadsThem) {
    std::mt19937_64 rng(42);
    std::uniform_int_distribution<int> digits(0, 9), length(1, 20), point(-1, 20);
    for (int n = 0; n < 200000; ++n) {
        std::string text = (rng() % 3 == 0) ? "-" : "";
        const int len = length(rng), dot = point(rng);
        for (int k = 0; k < len; ++k) {
            if (k == dot) text += '.';
            text += static_cast<char>('0' + digits(rng));
        }
        const auto v = parse_real(text);
        ASSERT_TRUE(v) << text;
        const double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&*v, &expected, sizeof expected), 0) << text;
    }
    EXPECT_EQ(parse_real("+1.5"), 1.5);
    EXPECT_EQ(parse_real("2.5d2"), 250.0);
    EXPECT_EQ(parse_real(".5"), 0.5);
    EXPECT_EQ(parse_real("5."), 5.0);
    EXPECT_FALSE(parse_real("."));
    EXPECT_FALSE(parse_real("1.5x"));
    EXPECT_FALSE(parse_real("nan"));
    EXPECT_FALSE(parse_real("1e999"));
}
