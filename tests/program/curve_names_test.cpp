// Every curve family a list offers, as the run file and the dialogue take it: its run-file name
// gives its code and the code gives the name back, and the dialogue's menu accepts the code.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "console/console.hpp"
#include "model/curve_families.hpp"
#include "run/dialogue.hpp"
#include "run/run_plan.hpp"

namespace kestrovan {
namespace {

TEST(CurveNames, EveryOfferedFamilyRoundTripsNameCodeAndMenu) {
    for (const CurveFamily& f : kCurveFamilies) {
        for (CurveList list : {CurveList::PerSeries, CurveList::Regional}) {
            if (!f.in(list).listed()) continue;
            const bool regional = list == CurveList::Regional;
            const int code = f.id == CurveFamilyId::FixedSpline     ? 150
                             : f.id == CurveFamilyId::PercentSpline ? -30
                                                                    : f.in(list).code;
            SCOPED_TRACE(std::string(f.name) + (regional ? " (Regional)" : " (per series)"));

            const auto named = regional ? regional_code(f.name, 150, 30) : per_series_code(f.name, 150, 30);
            ASSERT_TRUE(named.has_value());
            EXPECT_EQ(*named, code);
            EXPECT_EQ(regional ? regional_name(code) : per_series_name(code), f.name);
            const std::string names = regional ? regional_names() : per_series_names();
            EXPECT_NE(names.find("\"" + std::string(f.name) + "\""), std::string::npos);

            // The code typed at the menu, then the family's setting left at its default (a
            // window has none: 5 years).
            std::string answers = std::to_string(code) + "\n";
            if (regional && f.setting == CurveSetting::Window) answers += "5\n";
            if (regional && (f.setting == CurveSetting::Alpha || f.setting == CurveSetting::Stiffness))
                answers += "\n";
            std::istringstream in(answers);
            std::ostringstream out;
            Console console(in, out);
            ConsoleDialogue dialogue(console);
            if (regional) {
                const auto choice = dialogue.regional_reselection();
                ASSERT_TRUE(choice.has_value()) << out.str();
                EXPECT_EQ(choice->code, code);
            } else {
                EXPECT_EQ(dialogue.curve_option(), code) << out.str();
            }
        }
    }
}

}  // namespace
}  // namespace kestrovan
