// The option dialogue in-process on strings of answers: every question's default, refusals,
// messages and "/" stop, the report echo lines, and the RCS re-selection menu.
#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "model/run_options.hpp"
#include "model/series_table.hpp"
#include "run/dialogue.hpp"
#include "select/selection.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// A line built from pieces placed at given columns (1-based).
std::string col(std::initializer_list<std::pair<int, const char*>> parts) {
    std::string line;
    for (const auto& [column, text] : parts) {
        line.resize(static_cast<std::size_t>(column - 1), ' ');
        line += text;
    }
    return line;
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
}

class Dialogue : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.emplace("dialogue");
        table_.data.resize(100, 3);
        for (int i = 0; i < 3; ++i) {
            table_.ids.push_back("SER" + std::to_string(i) + "    ");
            table_.years.push_back({1900, 1999, 100});
        }
        table_.update_summary();
    }
    void TearDown() override { dir_.reset(); }

    // Runs `step` on a fresh console and report; returns the console text, report lines in `report`.
    template <class Step>
    std::string run(const std::string& answers, Step step) {
        std::istringstream in(answers);
        std::ostringstream out;
        Console console(in, out);
        OutputFiles files;
        files.data_name = "site.rwl";
        files.report.open("report.txt");
        try {
            step(console, files);
        } catch (...) {
            files.report.close();
            report = lines_of(read("report.txt"));
            console_text = out.str();
            throw;
        }
        files.report.close();
        report = lines_of(read("report.txt"));
        console_text = out.str();
        return console_text;
    }
    std::string before(const std::string& answers) {
        return run(answers, [&](Console& c, OutputFiles& f) { dialogue_before_selection(c, f, params); });
    }
    std::string after(const std::string& answers, int median = 100) {
        return run(answers, [&](Console& c, OutputFiles& f) {
            dialogue_after_selection(c, f, table_, params, median);
        });
    }
    std::string reselect(const std::string& answers) {
        return run(answers, [&](Console& c, OutputFiles& f) { rcs_reselection(c, f, table_, params, 100); });
    }
    static std::string read(const std::string& name) {
        std::ifstream f(name);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    void expect_quiet_stop(const std::string& answers, bool before_selection = false) {
        params = RunOptions{};
        try {
            if (before_selection)
                before(answers);
            else
                after(answers);
            ADD_FAILURE() << "no stop for " << answers;
        } catch (const ProgramStop& stop) {
            EXPECT_EQ(stop.kind(), StopKind::Normal) << answers;
            EXPECT_STREQ(stop.what(), "") << answers;
        }
    }

    std::optional<kestrovan::testing::TempDir> dir_;
    SeriesTable table_;
    RunOptions params;
    std::vector<std::string> report;
    std::string console_text;
};

}  // namespace

TEST_F(Dialogue, IndexMethodRefusesEmptyAndOtherAnswersAndEchoes) {
    const std::string out = before("\nx\nratios\n");
    EXPECT_EQ(params.index_method, IndexMethod::Ratios);
    EXPECT_EQ(params.power_transform, 0);
    EXPECT_EQ(count_of(out, "\n Error reading input [R] or [S]. Try again or enter / to exit\n"), 2u);
    EXPECT_EQ(out.find("Power transform"), std::string::npos);  // not asked for ratios
    EXPECT_NE(out.find("\n" + col({{2, "Compute Indices by [R]atios or residual[S]"}, {50, "==> "}})),
              std::string::npos);
    EXPECT_EQ(report, (std::vector<std::string>{
                          "", "TREE-RING INDICES ARE CALCULATED AS RATIOS OF EXPECTED GROWTH"}));
}

TEST_F(Dialogue, ResidualsAskThePowerTransform) {
    before("s\nt\n");
    EXPECT_EQ(params.index_method, IndexMethod::Residuals);
    EXPECT_EQ(params.power_transform, 1);
    EXPECT_EQ(report, (std::vector<std::string>{
                          "", "TREE-RING INDICES ARE CALCULATED AS RESIDUALS FROM EXPECTED GROWTH"}));
    for (const char* other : {"\n", "F\n", "x\nf\n"}) {
        params = RunOptions{};
        const std::string out = before(std::string("S\n") + other);
        EXPECT_EQ(params.power_transform, 0) << other;
        EXPECT_NE(out.find("\n" + col({{2, "Power transform data? [T]rue or [F]alse"}, {50, "==> "}})),
                  std::string::npos);
    }
    // Garbage is refused with a reason, not taken as F; "/" stops.
    EXPECT_EQ(count_of(console_text, "\n Answer T for true or F for false.\n"), 1u);
    expect_quiet_stop("S\n/\n", true);
}

TEST_F(Dialogue, SlashAtIndexMethodSaysProgramTerminating) {
    expect_quiet_stop("/\n", true);
    EXPECT_NE(console_text.find("\n Program Terminating\n"), std::string::npos);
}

TEST_F(Dialogue, DefaultsOnEmptyAnswersAndTheirEchoLines) {
    const std::string out = after("\n\n\n\n\n\n\n");
    EXPECT_EQ(params.curve_option, 8);
    EXPECT_EQ(params.spline_stiffness, 50);
    EXPECT_FALSE(params.rcs());
    EXPECT_EQ(params.mean_method, 2);
    EXPECT_EQ(params.rbar_window, 51);
    EXPECT_EQ(params.stabilization, 0);
    EXPECT_FLOAT_EQ(params.convergence, 0.0001f);
    EXPECT_TRUE(params.tweaks);
    EXPECT_TRUE(params.rescale_to_one);
    EXPECT_TRUE(params.median_differences);
    const std::vector<std::string> expected = {
        "",
        "CURVE FIT OPTION:",
        "AGE-DEPENDENT SPLINE SMOOTHING AND START:  OPT    8   50",
        "",
        "TUKEY ROBUST BIWEIGHT MEAN CHRONOLOGY CALCULATED:      2",
        "",
        "ZELK CONVERGENCE CRITERIA USED - SHOULD BE FASTER TO CONVERGE",
        "",
        "FOR SPLINE AND FRIEDMAN FLEXIBLE CURVE FITS A COUNT-WEIGHTED CONVERGENCE CRITERION IS USED.",
        "THIS SPEEDS CONVERGENCE AND REDUCES THE CHANCES OF EXCESSIVE SIGNAL FREE ITERATIONS.",
    };
    EXPECT_EQ(report, expected);
    // Menu layout: labels right-aligned on column 46, the default at 45.
    EXPECT_NE(out.find("\n General Curve fit options:\n\n Spline percent N filter (variable)  .le.  -10\n" +
                       col({{2, "Friedman variable span smoother"}, {45, "-5"}}) + "\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n" + col({{2, "Age-dependent spline smoothing"}, {45, "<8>"}}) + "\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n" + col({{2, "Median segment length spline"}, {46, "9"}}) + "\n" +
                       col({{2, "Spline filter in years (fixed .ge. 10)"}, {45, "10"}}) + "\n" +
                       col({{2, "Opt <8> is default, hit <RET> for it"}, {50, "==> "}})),
              std::string::npos);
    EXPECT_NE(out.find("\n" + col({{2, "Non-robust arithmetic mean"}, {39, " 1 "}}) + "\n" +
                       col({{2, "Robust Tukey biweight mean"}, {39, "<2>"}}) + "\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n" + col({{2, "Smoothing spline (fixed Yrs cutoff)"}, {39, ">+9"}, {50, "==> "}})),
              std::string::npos);
    EXPECT_NE(out.find("\n" + col({{2, "  **** Roll Your Own ****   3  X.XXXX"}, {50, "==> "}})),
              std::string::npos);
}

TEST_F(Dialogue, CurveOptionRefusalsAlphaAndOptionNine) {
    // Unconvertible text and codes no curve serves show the menu again; then -5 with alpha.
    std::string out = after("abc\n7\n-1\n5\n-7\n-5\nx\n12\n3\n1\n0\n\nn\n");
    EXPECT_EQ(count_of(out, "General Curve fit options:"), 6u);
    EXPECT_EQ(params.curve_option, -5);
    EXPECT_EQ(params.alpha, 3);
    EXPECT_FLOAT_EQ(params.alpha_real(), 3.0f);
    EXPECT_EQ(count_of(out, "\n Friedman tweeter not in admissible range\n"), 1u);
    EXPECT_EQ(params.mean_method, 1);
    EXPECT_EQ(params.rbar_window, 0);
    EXPECT_FALSE(params.tweaks);
    const std::vector<std::string> expected = {
        "",
        "CURVE FIT OPTION:",
        "FRIEDMAN VARIABLE SPAN SMOOTHER AND ALPHA:  OPT   -5    3",
        "",
        "NON-ROBUST ARITHMETIC MEAN CHRONOLOGY CALCULATED:      1",
        "",
        "ORIGINAL CONVERGENCE CRITERIA USED - MAY BE SLOWER TO CONVERGE",
        "FOR SPLINE AND FRIEDMAN FLEXIBLE CURVE FITS A COUNT-WEIGHTED CONVERGENCE CRITERION IS USED.",
        " THE CHANCES OF EXCESSIVE SIGNAL FREE ITERATIONS.",
    };
    EXPECT_EQ(report, expected);

    params = RunOptions{};
    after("9\n\n0\n\n\n", 120);
    EXPECT_EQ(params.curve_option, 120);
    EXPECT_EQ(report[2], "SPLINE FILTER IN YEARS (FIXED) .GE. 10:  OPT  120");

    // A median below 10 would be read as another option code: 10 is used instead.
    params = RunOptions{};
    after("9\n\n0\n\n\n", 8);
    EXPECT_EQ(params.curve_option, 10);

    params = RunOptions{};
    after(" -20\n\n0\n\n\n");
    EXPECT_EQ(params.curve_option, -20);
    EXPECT_EQ(report[2], "SPLINE PCT N FILTER (VARIABLE) .LE. -10:  OPT  -20");
}

TEST_F(Dialogue, RcsAsksStiffnessAndPithOffsets) {
    after("-2\n\nF\n\n\n\n\n\n");
    EXPECT_EQ(params.curve_option, -2);
    EXPECT_TRUE(params.rcs());
    EXPECT_EQ(params.spline_stiffness, 10);
    EXPECT_FALSE(params.pith_present);
    EXPECT_EQ(params.pith_offsets, std::vector<int>(3, 0));
    EXPECT_EQ(report[2], "REGIONAL CURVE STANDARDIZATION (RCS):  OPT   -2");
    EXPECT_NE(console_text.find(col({{2, "Enter your value, hit <RET> for 10"}, {50, "==> "}})),
              std::string::npos);
}

TEST_F(Dialogue, RcsRefusesPithOffsetsThatCannotBeUsedAndAsksAgain) {
    {
        std::ofstream f("pith.txt");
        f << "   0\n  -4\n  12\n";
    }
    // The file with a negative offset is refused; the question comes again and F means none.
    after("-2\n\nT\npith.txt\n1\n0\nF\n\n\n\n\n\n");
    EXPECT_NE(console_text.find("Series SER1     has a negative pith offset (-4)"), std::string::npos);
    EXPECT_EQ(count_of(console_text, "Is there a pith offset file? [T]rue or [F]alse"), 2u);
    EXPECT_FALSE(params.pith_present);
    EXPECT_EQ(params.pith_offsets, std::vector<int>(3, 0));
}

TEST_F(Dialogue, RbarWindowAndAdditionalStabilization) {
    // 24 and -3 refused, 50 becomes 51; 5 and -5 refused silently, -10 accepted.
    std::string out = after("\n\n\n24\n-3\nx\n50\n5\n-5\n-10\n\n\n");
    EXPECT_EQ(params.rbar_window, 51);
    EXPECT_EQ(params.stabilization, -10);
    EXPECT_EQ(count_of(out, "\n Running RBAR window width must be .ge. 25\n"), 2u);
    EXPECT_NE(out.find("\n Running RBAR window width increased to make it odd:    51\n"), std::string::npos);
    EXPECT_EQ(count_of(out, "Additional spline variance stabilization?"), 3u);

    params = RunOptions{};
    out = after("\n\n\n25\n10\n\n\n");
    EXPECT_EQ(params.rbar_window, 25);
    EXPECT_EQ(params.stabilization, 10);
    EXPECT_EQ(out.find("increased"), std::string::npos);

    // 0 skips the stabilization question.
    params = RunOptions{};
    out = after("\n\n\n0\n\n\n");
    EXPECT_EQ(params.rbar_window, 0);
    EXPECT_NE(out.find("\n Running RBAR variance stabilization skipped\n"), std::string::npos);
    EXPECT_EQ(out.find("Additional spline"), std::string::npos);
}

TEST_F(Dialogue, ConvergenceChoicesAndTweakRefusal) {
    std::string out = after("\n\n\n0\n9\n3\nabc\n3\n-0.001\n3\n0.00002\nmaybe\nN\n");
    EXPECT_FLOAT_EQ(params.convergence, 0.00002f);
    EXPECT_EQ(count_of(out, "Enter the signal free convergence test"), 4u);
    EXPECT_EQ(count_of(out, "The convergence test must be 0 or more."), 1u);
    EXPECT_NE(out.find("\n" + col({{2, "Okay, enter YOUR convergence test"}, {50, "==> "}})),
              std::string::npos);
    EXPECT_EQ(count_of(out, "\n Answer not entered as y or n\n"), 1u);
    EXPECT_FALSE(params.tweaks);
    EXPECT_FALSE(params.rescale_to_one);
    EXPECT_FALSE(params.median_differences);

    params = RunOptions{};
    after("\n\n\n0\n1\nY\n");
    EXPECT_FLOAT_EQ(params.convergence, 0.0005f);
    EXPECT_TRUE(params.tweaks);
}

TEST_F(Dialogue, MeanMethodRefusal) {
    const std::string out = after("\n\n3\n1\n0\n\n\n");
    EXPECT_EQ(count_of(out, "\n Mean index choice not admissible\n"), 1u);
    EXPECT_EQ(params.mean_method, 1);
}

TEST_F(Dialogue, SlashStopsEveryQuestionAfterSelection) {
    const char* answers[] = {
        "/\n",              // curve fit
        "-5\n/\n",          // alpha
        "\n/\n",            // spline stiffness
        "-2\n/\n",          // RCS stiffness
        "\n\n/\n",          // mean method
        "\n\n\n/\n",        // RBAR window
        "\n\n\n\n/\n",      // additional stabilization
        "\n\n\n0\n/\n",     // convergence
        "\n\n\n0\n\n/\n",   // tweaks
        "\n\n\n0\n3\n/\n",  // own convergence test
    };
    for (const char* a : answers) expect_quiet_stop(a);
}

TEST_F(Dialogue, AnswersThatAreNotExactlyOneNumberAreRefusedWithAReason) {
    // "  9 9", "1 0", "abc" and "10x" are not read as 9, 1, a default or 10; wavelengths beyond
    // 100000 years and stiffnesses that would overflow are refused with the range.
    std::string out = after("  9 9\n1 0\nabc\n10x\n2147483647\n8\n2147483647\n1\n50\n\n151\n\n\n\n\n");
    EXPECT_EQ(params.curve_option, 8);
    EXPECT_EQ(params.spline_stiffness, 50);
    EXPECT_EQ(count_of(out, "General Curve fit options:"), 6u);
    EXPECT_NE(out.find("\n Enter one number only: \"9 9\" holds more than one.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n Enter one number only: \"1 0\" holds more than one.\n"), std::string::npos);
    EXPECT_NE(out.find("\n \"abc\" is not a number.\n"), std::string::npos);
    EXPECT_NE(out.find("\n \"10x\" is not a number.\n"), std::string::npos);
    EXPECT_NE(
        out.find("\n Spline wavelengths go from 10 to 100000 years, percent codes from -10 to -1000.\n"),
        std::string::npos);
    EXPECT_EQ(count_of(out, "\n The value must be from 2 to 100000.\n"), 2u);
    // A window longer than the 100 years of the data.
    EXPECT_NE(out.find("\n The running RBAR window cannot be longer than the 100 years of the data.\n"),
              std::string::npos);
    EXPECT_EQ(params.rbar_window, 51);
}

TEST_F(Dialogue, SelectionQuestionsTakeOneNumberOnly) {
    // "1,700" at a year question is refused, not read as 1 (which would keep every series and
    // hand the next answer, meant as a year, to the curve menu); "12" is not choice 1.
    std::string out;
    run("12\n3\n1,700\n1950\n", [&](Console& c, OutputFiles& f) { select_series(c, f, table_); });
    out = console_text;
    EXPECT_NE(out.find("\n Enter a number from 1 to 7, or / to exit.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n Enter one number only: \"1,700\" holds more than one.\n"), std::string::npos);
    EXPECT_NE(std::find(report.begin(), report.end(), "DATA ARE CENSORED BY MAXIMUM START YEAR:  1950"),
              report.end());
    for (const char* a : {"2\n/\n", "7\n1900\n/\n"}) {
        try {
            run(a, [&](Console& c, OutputFiles& f) { select_series(c, f, table_); });
            ADD_FAILURE() << a;
        } catch (const ProgramStop& stop) {
            EXPECT_EQ(stop.kind(), StopKind::Normal) << a;
        }
    }
}

TEST_F(Dialogue, RcsReselectionMenu) {
    params.curve_option = -2;
    // Refused codes show the menu again; a lowess window of 2 is not accepted; -50 is.
    std::string out = reselect("0\n9\n\n-1\n-7\n-4\n2\n-4\n-50\n");
    EXPECT_EQ(params.regional_curve, -4);
    EXPECT_EQ(params.smoothing_window, -50);
    EXPECT_TRUE(params.rcs());
    EXPECT_EQ(count_of(out, "Select RCS curve fit options:"), 7u);
    EXPECT_NE(out.find("\n Select RCS curve fit options:\n\n"
                       "    -5:  friedman super smoother        lower alpha (0-9) gives more local fit\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n   <-9: cubic smoothing spline         pct n 50 pct variance cutoff\n\n"
                       "  enter option (x to start over) ==> "),
              std::string::npos);
    EXPECT_NE(out.find(col({{2, "between -1 and -100, inclusive"}, {45, "==> "}})), std::string::npos);

    EXPECT_NE(
        out.find(
            "\n The lowess window must be a number of years from 3 to 100, or a percent from -1 to -100.\n"),
        std::string::npos);
    EXPECT_EQ(report.back(), "REGIONAL CURVE RE-SELECTED FOR RCS:  OPT   -4  -50");

    out = reselect("-2147483648\n-3\n4\n-3\n5\n");
    EXPECT_EQ(params.regional_curve, -3);
    EXPECT_EQ(params.smoothing_window, 5);
    EXPECT_NE(out.find("\n The median window must be an odd number of years from 3 to 100, or a percent from "
                       "-1 to -100.\n"),
              std::string::npos);
    EXPECT_NE(out.find("percent codes from -10 to -1000.\n"), std::string::npos);
    EXPECT_EQ(report.back(), "REGIONAL CURVE RE-SELECTED FOR RCS:  OPT   -3    5");

    reselect("-5\n\n");
    EXPECT_EQ(params.regional_curve, -5);
    EXPECT_EQ(params.alpha, 7);
    EXPECT_EQ(params.smoothing_window, 7);

    reselect("-2\n15\n");
    EXPECT_EQ(params.regional_curve, -2);
    EXPECT_EQ(params.spline_stiffness, 15);
    EXPECT_EQ(console_text.find("pith offset"), std::string::npos);

    reselect("4\n");
    EXPECT_EQ(params.regional_curve, 4);
    EXPECT_EQ(params.curve_option, kCurveRcs);
    EXPECT_TRUE(params.rcs());
}

TEST_F(Dialogue, RcsReselectionStartOverFollowsTheNewAnswer) {
    params.curve_option = kCurveRcs;
    params.regional_curve = 3;
    reselect("x\n6\n\n0\n\n\n");
    EXPECT_EQ(params.curve_option, 6);
    EXPECT_FALSE(params.rcs());
    EXPECT_EQ(report[2], "HORIZONTAL LINE THROUGH MEAN:  OPT    6");
}

TEST_F(Dialogue, OptionsTheDialogueGivesAreValidAndOthersAreNamed) {
    after("\n\n\n\n\n\n\n");
    EXPECT_EQ(params.validate(), "");
    RunOptions rcs;
    rcs.curve_option = kCurveRcs;
    rcs.regional_curve = -3;
    rcs.smoothing_window = 4;  // the median window must be odd
    EXPECT_EQ(rcs.validate(),
              "smoothing_window = 4: an odd number of years of 3 or more, or a percent from -1 to -100");
    RunOptions p;
    p.power_transform = true;  // with ratios
    EXPECT_EQ(p.check()->option, "power_transform");
    p = RunOptions{};
    p.curve_option = 9;  // replaced by the median segment length in the dialogue
    EXPECT_EQ(p.check()->option, "curve_option");
    p = RunOptions{};
    p.rbar_window = 24;
    EXPECT_EQ(p.check()->option, "rbar_window");
    p = RunOptions{};
    p.rbar_window = 0;
    p.stabilization = 1;
    EXPECT_EQ(p.check()->option, "stabilization");

    // The dialogue checks what it was given, as a run file is checked: options that do not fit
    // together stop the run before the engine, naming the option.
    params = RunOptions{};
    params.power_transform = true;  // with ratios
    try {
        after("\n\n\n\n\n\n\n");
        ADD_FAILURE() << "no stop";
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Abnormal);
        EXPECT_NE(std::string(stop.what()).find("power_transform = true"), std::string::npos) << stop.what();
    }
}
