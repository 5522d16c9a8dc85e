// Edit lists: the read formats of format-described blocks and the record formats of offset
// files go through one parser, which must take every form either reader took.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/edit_list.hpp"

using namespace kestrovan;

namespace {

using Kind = EditItem::Kind;

// The descriptors of a list in reading order, one letter and width each: "f6.2 x1 i4".
std::string walked(std::string_view format) {
    const auto list = parse_edit_list(format);
    if (!list) return "refused";
    std::string out;
    EditWalk walk;
    walk.walk(*list, 0, [&](const EditItem& item) {
        static const char* const kLetters[] = {"f", "i", "x", "t", "tr", "tl", "/", "("};
        out += (out.empty() ? "" : " ") + std::string(kLetters[static_cast<int>(item.kind)]);
        if (item.kind != Kind::NewRecord) out += std::to_string(item.width);
        if (item.kind == Kind::Real) out += "." + std::to_string(item.decimals);
        return false;
    });
    return out;
}

}  // namespace

TEST(EditList, TakesTheFormatsOfBothReaders) {
    // Format-described blocks: repeated real fields, groups, skips, records, exponent widths.
    EXPECT_EQ(walked("(5f6.2)"), "f6.2 f6.2 f6.2 f6.2 f6.2");
    EXPECT_EQ(walked("(2(i4))"), "i4 i4");
    EXPECT_EQ(walked("(x,f4.1)"), "x1 f4.1");
    EXPECT_EQ(walked("(f8.3/i3)"), "f8.3 / i3");
    EXPECT_EQ(walked("(E10.3E2,)"), "f10.3");
    EXPECT_EQ(walked("(1 0f8.3)"), walked("(10f8.3)"));  // blanks inside a number count for nothing
    EXPECT_EQ(walked("(f8.3,())"), "f8.3");
    // Offset files: blanks and case, commas left out or doubled, tabs, the digits of iw.m.
    EXPECT_EQ(walked("( 2X , I3 )"), "x2 i3");
    EXPECT_EQ(walked("(2xi3)"), "x2 i3");
    EXPECT_EQ(walked("(,,i4,)"), "i4");
    EXPECT_EQ(walked("(t6,tr2,tl1,i2.1)"), "t6 tr2 tl1 i2");
    EXPECT_EQ(walked("(i3 4x,i2)"), "i3 x4 i2");  // a blank ends a number where that reads
    EXPECT_EQ(walked("(t99999,i1)"), "t99999 i1");

    for (const char* bad :
         {"i4", "(i4", "(i4)x", "(f4)", "(i0)", "(0x)", "(t0)", "(2t3)", "(a4)", "(2/)", "(100001x)", ""})
        EXPECT_EQ(walked(bad), "refused") << bad;
    EXPECT_EQ(walked(std::string(8, '(') + "i1" + std::string(8, ')')), "i1");  // eight deep at the most
    EXPECT_EQ(walked(std::string(9, '(') + "i1" + std::string(9, ')')), "refused");
}

TEST(EditList, WalkStopsAtItsStepBudget) {
    // Groups that hold no data field, repeated almost without end: the walk gives up instead of
    // taking hours, while groups that lead to a field are walked through.
    const auto huge = parse_edit_list("(99999(99999(99999(t1))),i4)");
    ASSERT_TRUE(huge);
    int visits = 0;
    EXPECT_EQ(EditWalk().walk(*huge, 0, [&](const EditItem&) { return ++visits, false; }),
              WalkEnd::OverBudget);
    EXPECT_LE(visits, kMaxEditSteps);

    const auto empty_groups = parse_edit_list("(99999(99999(99999())),i4)");
    ASSERT_TRUE(empty_groups);
    EXPECT_EQ(
        EditWalk().walk(*empty_groups, 0, [](const EditItem& item) { return item.kind == Kind::Integer; }),
        WalkEnd::OverBudget);

    const auto fine = parse_edit_list("(3(2x),i4)");
    ASSERT_TRUE(fine);
    EXPECT_EQ(EditWalk().walk(*fine, 0, [](const EditItem& item) { return item.kind == Kind::Integer; }),
              WalkEnd::Stopped);
}
