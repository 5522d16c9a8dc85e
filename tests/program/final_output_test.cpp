#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "io/tucson.hpp"
#include "run/final_output.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;
using kestrovan::testing::read_lines;
using kestrovan::testing::TempDir;

namespace {

// A chronology of `years` values starting in 1801 with a gap (sample size 0) in its fourth year.
FinalChronologies make_chronologies(int years, bool stabilized) {
    FinalChronologies c;
    c.first_year = 1801;
    for (int k = 0; k < years; ++k) {
        const float v = 1.0f + 0.3f * std::sin(0.7f * static_cast<float>(k));
        c.sample_size.push_back(k == 3 ? 0 : 6 + k % 3);
        c.first.push_back(v);
        c.second.push_back(v * 1.01f);
        c.first_sd.push_back(0.2f);
        c.second_sd.push_back(0.25f);
        if (stabilized) {
            c.first_stb.push_back(v * 0.9f);
            c.second_stb.push_back(v * 0.95f);
        }
    }
    c.first[3] = c.second[3] = 0.0f;
    return c;
}

struct Fixture {
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
    OutputFiles files;
    RunOptions params;
    std::unique_ptr<Plotter> plotter;
    Fixture() {
        files.data_name = "abcdefgh.rwl";
        for (auto& h : files.header) h = std::string(88, ' ');
        files.header[0].replace(0, 20, "ABC     1 Test site ");
        plotter = make_plotter(PlotSettings{false, "", ""}, console);
    }
};

}  // namespace

TEST(FinalOutput, TablesTucsonChronologiesAndSpectra) {
    TempDir dir;
    Fixture f;
    f.params.curve_option = 8;
    f.params.rbar_window = 0;
    const auto c = make_chronologies(40, false);
    write_final_output(f.console, f.files, f.params, c, *f.plotter);

    auto col = read_lines("abcdefgh_crns_col.txt");
    ASSERT_EQ(col.size(), 41u);
    EXPECT_EQ(col[0], "  Year  SSize  StdCrn  SsfCrn  StdSig  SsfSig  StdSee  SsfSee");
    // A year no series covers: chronology 0.000, standard errors -9.999.
    EXPECT_EQ(col[4], "  1804     0    0.000   0.000   0.000   0.000  -9.999  -9.999");
    EXPECT_EQ(col[1].substr(0, 13), "  1801     6 ");
    EXPECT_EQ(col[1].size(), 13u + 6 * 8);
    // The standard error column is sd / sqrt(n).
    EXPECT_EQ(col[1].substr(13 + 4 * 8, 8), fmt_f(0.2f / std::sqrt(6.0f), 8, 3));

    // The Tucson chronologies read back to the same values and counts.
    std::ifstream tuc("abcdefgh_crns_tuc.txt");
    TucsonReadState state;
    TucsonSeries s;
    trrw(tuc, "ir", s, state);
    ASSERT_EQ(s.count, 40);
    EXPECT_EQ(s.first_year, 1801);
    EXPECT_EQ(s.id.substr(0, 6), "abcdef");
    for (int k = 0; k < 40; ++k) {
        EXPECT_NEAR(s.values[static_cast<std::size_t>(k)], c.first[static_cast<std::size_t>(k)], 0.0006);
        EXPECT_EQ(s.samples[static_cast<std::size_t>(k)], c.sample_size[static_cast<std::size_t>(k)]);
    }
    trrw(tuc, "ir", s, state);
    ASSERT_EQ(s.count, 40);
    trrw(tuc, "ir", s, state);
    EXPECT_EQ(s.count, kEndOfFile);
    // Each chronology is preceded by the three header lines, its code in columns 83-88 of
    // lines 2 and 3; line 1 is left as it was.
    const auto tuc_lines = read_lines("abcdefgh_crns_tuc.txt");
    ASSERT_EQ(tuc_lines[0].substr(0, 20), "ABC     1 Test site ");
    EXPECT_EQ(tuc_lines[0].substr(82, 6), "      ");
    EXPECT_EQ(tuc_lines[1].substr(82, 6), "stdcrn");
    EXPECT_EQ(tuc_lines[2].substr(82, 6), "stdcrn");

    // 39 years with five or more series: M = 13, 14 rows after the header.
    auto spectra = read_lines("abcdefgh_spectra.txt");
    ASSERT_EQ(spectra.size(), 15u);
    // The frequency and power columns as they always were, the red-noise columns after them.
    EXPECT_EQ(spectra[0].substr(0, 42), " FREQUENCY   POWER_STD_CRN   POWER_SSF_CRN");
    EXPECT_EQ(spectra[0].substr(42), "   RED_NOISE_STD       RED95_STD   RED_NOISE_SSF       RED95_SSF");
    EXPECT_EQ(spectra[1].size(), 9u + 14 + 16 + 4 * 16);
    for (std::size_t row = 1; row < spectra.size(); ++row) {
        std::istringstream in(spectra[row]);
        double f = 0, p2 = 0, p3 = 0, r2 = 0, r2_95 = 0, r3 = 0, r3_95 = 0;
        ASSERT_TRUE(in >> f >> p2 >> p3 >> r2 >> r2_95 >> r3 >> r3_95) << spectra[row];
        EXPECT_GT(r2, 0.0);
        EXPECT_GT(r2_95, r2);  // the 95 % level lies above its background
        EXPECT_GT(r3_95, r3);
    }
    EXPECT_EQ(spectra[14].substr(0, 9), "  0.50000");
}

TEST(FinalOutput, StabilizedColumnsAndRawLabelsForOptionZero) {
    TempDir dir;
    Fixture f;
    f.files.data_name = "my site.rwl";
    f.params.curve_option = 0;
    f.params.rbar_window = 51;
    write_final_output(f.console, f.files, f.params, make_chronologies(30, true), *f.plotter);

    auto col = read_lines("my site_crns_col.txt");
    ASSERT_EQ(col.size(), 31u);
    EXPECT_EQ(col[0], "  Year  SSize  RawCrn  AdjCrn  RawSig  AdjSig  RawSee  AdjSee  RawStb  AdjStb");
    EXPECT_EQ(col[1].size(), 13u + 8 * 8);
    auto tuc = read_lines("my site_crns_tuc.txt");
    int headers = 0;
    for (const auto& line : tuc)
        if (line.size() >= 88 && line.rfind("my sit", 0) != 0 && line.substr(82, 6) == "adjstb") ++headers;
    EXPECT_EQ(headers, 2);                             // header lines 2 and 3 of the fourth chronology
    auto spectra = read_lines("my site_spectra.txt");  // not my_spectra.txt, which is my.rwl's
    ASSERT_FALSE(spectra.empty());
    EXPECT_EQ(spectra[0].substr(0, 42), " FREQUENCY   POWER_RAW_CRN   POWER_ADJ_CRN");
    EXPECT_EQ(spectra[0].substr(42), "   RED_NOISE_RAW       RED95_RAW   RED_NOISE_ADJ       RED95_ADJ");
}

TEST(FinalOutput, TooFewYearsForSpectraKeepsHeaderOnly) {
    TempDir dir;
    Fixture f;
    write_final_output(f.console, f.files, f.params, make_chronologies(9, false), *f.plotter);
    auto spectra = read_lines("abcdefgh_spectra.txt");
    ASSERT_EQ(spectra.size(), 1u);  // 8 usable years: no spectrum
    EXPECT_NE(f.out.str().find("Too few chronology values"), std::string::npos);
}

TEST(FinalOutput, NormalTerminationEndsWithReturnPrompt) {
    Fixture f;
    try {
        normal_termination(f.console);
        FAIL();
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.exit_code(), 0);
    }
    EXPECT_EQ(f.out.str(),
              "\nNormal termination of program Kestrovan_Version 45_v2b \n\nHit RETURN to Quit\n");
}
