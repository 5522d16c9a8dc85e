#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/freeform.hpp"
#include "model/format.hpp"

using namespace kestrovan;

TEST(Format, FortranFieldsOverflowToAsterisks) {
    EXPECT_EQ(fmt_i(42, 5), "   42");
    EXPECT_EQ(fmt_i(-1234, 4), "****");
    EXPECT_EQ(fmt_f(1.2345, 8, 3), "   1.234");  // 1.2345 is held below the half in binary
    EXPECT_EQ(fmt_f(-0.0004, 8, 3), "   0.000");
    EXPECT_EQ(fmt_f(0.5, 4, 3), ".500");
    EXPECT_EQ(fmt_f(-0.5, 5, 3), "-.500");
    EXPECT_EQ(fmt_f(12345.0, 8, 3), "********");
    EXPECT_EQ(fmt_f(std::numeric_limits<double>::quiet_NaN(), 6, 2), "******");
    EXPECT_EQ(fmt_e(1234.56, 12, 4), "  0.1235E+04");
    EXPECT_EQ(fmt_e(-0.00123, 11, 3), " -0.123E-02");
}

TEST(Format, ColumnsPlaceTextLikeTabs) {
    Columns c;
    c.at(2, "Total series read in:").at(30, fmt_i(34, 6));
    EXPECT_EQ(c.str(), " Total series read in:" + std::string(7, ' ') + "    34");
    EXPECT_EQ(c.str().find("    34"), 29u);
}

TEST(Freeform, ReadsFortranNumbersAndRejectsText) {
    EXPECT_EQ(freeform_items(" 12  34,\t5"), (std::vector<std::string>{"12", "34", "5"}));
    EXPECT_EQ(parse_int("12"), 12);
    EXPECT_EQ(parse_int("-7"), -7);
    EXPECT_FALSE(parse_int("Q").has_value());
    EXPECT_FALSE(parse_int("1.5").has_value());
    EXPECT_FALSE(parse_int("").has_value());
    EXPECT_FALSE(parse_int("99999999999").has_value());
    EXPECT_DOUBLE_EQ(*parse_real("2.D-1"), 0.2);
    EXPECT_DOUBLE_EQ(*parse_real(".5"), 0.5);
    EXPECT_FALSE(parse_real("nan").has_value());
    EXPECT_FALSE(parse_real("1e").has_value());
}

TEST(Console, PromptMarkerAtColumnAndEndOfInputStops) {
    std::istringstream in("answer\r\n");
    std::ostringstream out;
    Console con(in, out);
    con.prompt("Enter data file name to process (/ to exit)");
    EXPECT_EQ(out.str().find("==> "), 49u);
    EXPECT_EQ(con.ask(), "answer");
    con.pause("Hit return");  // end of input at a pause counts as RETURN
    try {
        con.ask();
        FAIL() << "end of input at a question must stop";
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.exit_code(), 2);
    }
}
