#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "io/crn_writer.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;
using kestrovan::testing::read_lines;
using kestrovan::testing::TempDir;

// Years below zero, a year without a value inside the chronology, a depth and an index too wide
// for their fields, and the years the decade field cannot hold.
TEST(CrnWriter, DecadesGapsAndFieldLimits) {
    TempDir dir;
    // -13 .. -2: the decades -20 and -10.
    std::vector<float> values{1.0f, 0.5f, 1.2345f, 12.0f, 0.8f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.9996f};
    std::vector<int> depth{3, 3, 0, 3, 1200, 3, 3, 3, 3, 3, 3, 2};
    CrnChronology c{.site = "ab12",
                    .text = {"1970 Ridge", "", "stdcrn"},
                    .first_year = -13,
                    .values = values,
                    .depth = depth};
    const CrnWritten w = write_crn_file("t.crn", c);
    ASSERT_TRUE(w.written) << w.refusal;
    EXPECT_EQ(w.capped_depths, 1);
    EXPECT_EQ(w.clipped_values, 1);
    const auto lines = read_lines("t.crn");
    ASSERT_EQ(lines.size(), 5u);
    // A site name starting with digits never puts a number into columns 7-10.
    EXPECT_EQ(lines[0], "ab12   Site 1970 Ridge");
    EXPECT_EQ(lines[1], "ab12   Info");
    EXPECT_EQ(lines[2].substr(0, 11), "ab12   Data");
    EXPECT_EQ(lines[3], "ab12   -209990  09990  09990  09990  09990  09990  09990  01000  3 500  39990  0");
    EXPECT_EQ(lines[4], "ab12   -109989  3 8009991000  31000  31000  31000  31000  31000  31000  29990  0");

    // Years before -990 (decade -1000) or after 9999 do not fit columns 7-10; no value at all is
    // no chronology.
    c.first_year = -991;
    EXPECT_FALSE(write_crn_file("early.crn", c).written);
    c.first_year = 9990;
    EXPECT_FALSE(write_crn_file("late.crn", c).written);
    std::vector<int> none(values.size(), 0);
    c.first_year = 1900;
    c.depth = none;
    EXPECT_FALSE(write_crn_file("empty.crn", c).written);
    EXPECT_FALSE(std::filesystem::exists("early.crn") || std::filesystem::exists("late.crn") ||
                 std::filesystem::exists("empty.crn"));
}

TEST(CrnWriter, SiteCodeFromDataBankHeaderElseFromTheFileName) {
    std::array<std::string, 3> bank{"CA533   1 Campito Mountain", "CA533   2 Species PILO",
                                    "CA533   3 Source"};
    EXPECT_EQ(crn_site_code(bank, "ca533.rwl"), "CA533");
    EXPECT_EQ(data_bank_header_text(bank, 0), "Campito Mountain");
    EXPECT_EQ(data_bank_header_text(bank, 1), "Species PILO");
    std::array<std::string, 3> missing{"1st itrdb line missing", "2nd itrdb line missing",
                                       "3rd itrdb line missing"};
    EXPECT_EQ(crn_site_code(missing, "gp_rcs.data.csv"), "gprcs");
    EXPECT_EQ(data_bank_header_text(missing, 0), "");
    EXPECT_EQ(crn_site_code(missing, "abcdefgh.rwl"), "abcdef");
    EXPECT_EQ(crn_site_code(missing, "__.rwl"), "site");
}
