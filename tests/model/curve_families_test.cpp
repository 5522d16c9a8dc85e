// The table of curve families: each code means one family in its list, the two lists number some
// families differently, and the menus show the codes the table gives them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "model/curve_families.hpp"

namespace kestrovan {
namespace {

constexpr CurveList kLists[] = {CurveList::PerSeries, CurveList::Regional};

std::string trimmed(std::string s) {
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    return s;
}

TEST(CurveFamilies, EachCodeNameAndMenuLineBelongsToOneFamilyOfItsList) {
    for (CurveList list : kLists) {
        std::set<int> codes, places;
        std::set<std::string> names;
        for (const CurveFamily& f : kCurveFamilies) {
            const CodeInList& c = f.in(list);
            if (c.use == CodeUse::Absent) continue;
            EXPECT_TRUE(codes.insert(c.code).second) << f.name << ": code " << c.code << " twice";
            EXPECT_EQ(curve_family(list, c.code), &f) << f.name;
            EXPECT_EQ(family_code(f.id, list), c.code);
            const int place = list == CurveList::PerSeries ? f.menu_place : f.regional_menu_place;
            if (!c.listed()) {
                EXPECT_EQ(curve_family(list, std::string_view(f.name)), nullptr);
                EXPECT_EQ(place, 0) << f.name << " is not offered";
                EXPECT_FALSE(menu_code(list, c.code));
                continue;
            }
            EXPECT_TRUE(names.insert(f.name).second) << f.name;
            EXPECT_EQ(curve_family(list, std::string_view(f.name)), &f);
            EXPECT_TRUE(menu_code(list, c.code)) << f.name;
            EXPECT_GT(place, 0) << f.name << " has no menu line";
            EXPECT_TRUE(places.insert(place).second) << f.name;
            // The menu line shows the family's code: the label of the general menu (or the end of
            // its line), the start of a Regional line (the spline lines show the bound).
            if (list == CurveList::PerSeries) {
                std::string label = f.menu_label;
                if (label.size() > 2 && label.front() == '<') label = label.substr(1, label.size() - 2);
                const std::string text = f.menu_text;
                if (label.empty()) label = text.substr(text.rfind(' ') + 1);
                EXPECT_EQ(label, std::to_string(c.code)) << f.name;
            } else {
                const std::string number = f.id == CurveFamilyId::FixedSpline     ? ">9"
                                           : f.id == CurveFamilyId::PercentSpline ? "<-9"
                                                                                  : std::to_string(c.code);
                EXPECT_EQ(trimmed(f.regional_menu_text).rfind(number + ":", 0), 0u) << f.name;
            }
        }
        EXPECT_EQ(places.size(), static_cast<std::size_t>(*places.rbegin())) << "menu places run from 1 without gaps";
    }
}

TEST(CurveFamilies, TheListsNumberFamiliesApart) {
    EXPECT_EQ(curve_family(CurveList::PerSeries, kCurveRcs)->id, CurveFamilyId::Rcs);
    EXPECT_EQ(curve_family(CurveList::Regional, kCurveRcs)->id, CurveFamilyId::AgeDependentSpline);
    EXPECT_EQ(family_code(CurveFamilyId::Line, CurveList::PerSeries), 3);
    EXPECT_EQ(family_code(CurveFamilyId::Line, CurveList::Regional), 4);
    // Codes of no family: per series 5, 7 and -9..-6, -4..-1; Regional 0, 9 and -9..-6.
    for (int code : {5, 7, -1, -3, -4, -6, -9}) EXPECT_EQ(curve_family(CurveList::PerSeries, code), nullptr) << code;
    for (int code : {0, 9, -6, -9}) EXPECT_EQ(curve_family(CurveList::Regional, code), nullptr) << code;
    // Every wavelength and percent code belongs to the spline families, whatever its size.
    EXPECT_EQ(curve_family(CurveList::PerSeries, 250000)->id, CurveFamilyId::FixedSpline);
    EXPECT_EQ(curve_family(CurveList::Regional, -5000)->id, CurveFamilyId::PercentSpline);

    // The lines and exponentials (their fits reaching the floor give way to the mean) are the same
    // four families in both lists: codes 1 to 4 per series, 1, 2, 4 and 5 in the Regional list,
    // where 3 is the general negative exponential fitted by simplex.
    std::set<int> per_series, regional;
    for (int code = -1200; code <= 1200; ++code) {
        if (is_line_or_exponential(CurveList::PerSeries, code)) per_series.insert(code);
        if (is_line_or_exponential(CurveList::Regional, code)) regional.insert(code);
    }
    EXPECT_EQ(per_series, (std::set<int>{1, 2, 3, 4}));
    EXPECT_EQ(regional, (std::set<int>{1, 2, 4, 5}));
}

TEST(CurveFamilies, RunCodesAreTheOnesAFitOrTheEngineServes) {
    // The median-length spline is a menu answer and a run-file name, never a code of a run.
    EXPECT_TRUE(menu_code(CurveList::PerSeries, kCurveMedianLength));
    EXPECT_FALSE(run_code(CurveList::PerSeries, kCurveMedianLength));
    EXPECT_TRUE(run_code(CurveList::PerSeries, kCurveNone));
    EXPECT_TRUE(run_code(CurveList::PerSeries, kCurveRcs));
    // First differences are fitted by the Regional dispatch only: no menu, no name, no run.
    EXPECT_EQ(code_use(CurveList::Regional, -1), CodeUse::Hidden);
    EXPECT_FALSE(run_code(CurveList::Regional, -1));
    // The splines within their limits.
    EXPECT_TRUE(run_code(CurveList::Regional, kMaxWavelength));
    EXPECT_FALSE(run_code(CurveList::Regional, kMaxWavelength + 1));
    EXPECT_TRUE(run_code(CurveList::PerSeries, kMinPercentCode));
    EXPECT_FALSE(run_code(CurveList::PerSeries, kMinPercentCode - 1));
    EXPECT_TRUE(menu_code(CurveList::PerSeries, kMaxWavelength + 1));  // its limit is checked apart

    EXPECT_EQ(run_codes_text(CurveList::PerSeries),
              "-5, -2, 0, 1, 2, 3, 4, 6, 8, -10 to -1000 (percent of the length) or 10 to 100000 (years)");
    EXPECT_EQ(run_codes_text(CurveList::Regional),
              "-5, -4, -3, -2, 1, 2, 3, 4, 5, 6, 7, 8, -10 to -1000 (percent of the length) or 10 to 100000 "
              "(years)");
}

// The key tables of the README and the manual page name every family a list offers with its
// code, as the run file reads them.
TEST(CurveFamilies, TheDocumentedKeyTablesNameEveryFamily) {
    const std::filesystem::path root(KESTROVAN_SOURCE_DIR);
    auto row_of = [&](const char* file, const std::string& start, bool next_line) {
        std::ifstream in(root / file);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(start, 0) != 0) continue;
            if (next_line) std::getline(in, line);
            std::string plain;  // the manual page's "\-" is a plain hyphen
            for (std::size_t i = 0; i < line.size(); ++i)
                if (!(line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '-')) plain += line[i];
            return plain;
        }
        return std::string();
    };
    for (CurveList list : kLists) {
        const std::string key = list == CurveList::PerSeries ? "curve" : "regional_curve";
        for (const std::string& row :
             {row_of("README.md", "| `" + key + "` |", false), row_of("docs/kestrovan.1", ".B " + key, true)}) {
            ASSERT_FALSE(row.empty()) << key;
            for (const CurveFamily& f : kCurveFamilies) {
                if (!f.in(list).listed()) continue;
                const std::string named = "\"" + std::string(f.name) + "\"" +
                                          (f.spline_range() ? "" : " (" + std::to_string(f.in(list).code) + ")");
                EXPECT_NE(row.find(named), std::string::npos) << key << ": " << named << " missing in " << row;
            }
        }
    }
}

}  // namespace
}  // namespace kestrovan
