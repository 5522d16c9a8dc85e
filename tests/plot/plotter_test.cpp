// The plot routines through PLplot: the null device with the plot menu, saving to PostScript,
// file devices, and plots switched off. Data: the gp.rwl ring widths bundled with the examples.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include <plplot.h>

#include "plot/plot_device.hpp"
#include "plot/plotter.hpp"
#include "support/temp_dir.hpp"

namespace kestrovan {
namespace {

namespace fs = std::filesystem;

// A small Tucson reader for the test data (decade lines, hundredths of a millimetre, 999 ends a
// series); the real reader lives in another subsystem that the plot tests do not link.
struct RingData {
    YearMatrix widths;  // by position
    std::vector<YearSpan> years;
    std::vector<std::string> ids;
    YearSpan summary;
};

RingData read_rwl(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::vector<std::vector<float>> values;
    RingData d;
    for (int skip = 0; skip < 3 && std::getline(in, line); ++skip) {
    }
    while (std::getline(in, line)) {
        if (line.size() < 12) continue;
        const std::string id = line.substr(0, 8);
        const int decade = std::stoi(line.substr(8, 4));
        if (d.ids.empty() || d.ids.back() != id) {
            d.ids.push_back(id);
            d.years.push_back({decade, decade - 1, 0});
            values.emplace_back();
        }
        for (std::size_t p = 12; p + 6 <= line.size(); p += 6) {
            const int v = std::stoi(line.substr(p, 6));
            if (v == 999 || v == -9999) break;
            values.back().push_back(static_cast<float>(v) / 100.0f);
            d.years.back().last++;
            d.years.back().length++;
        }
    }
    int rows = 0;
    for (auto& v : values) rows = std::max(rows, static_cast<int>(v.size()));
    d.widths.resize(rows, static_cast<int>(values.size()));
    for (std::size_t j = 0; j < values.size(); ++j)
        for (std::size_t i = 0; i < values[j].size(); ++i)
            d.widths(static_cast<int>(i), static_cast<int>(j)) = values[j][i];
    d.summary = {d.years[0].first, d.years[0].last, 0};
    for (auto& y : d.years) {
        d.summary.first = std::min(d.summary.first, y.first);
        d.summary.last = std::max(d.summary.last, y.last);
    }
    d.summary.length = d.summary.last - d.summary.first + 1;
    return d;
}

// What the engine and the final output hand to the plots, derived from the ring widths.
struct Fixture {
    RingData rw = read_rwl(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl");
    YearMatrix indices;               // ring width / series mean, by position
    std::vector<float> chron, count;  // by calendar year from the earliest
    YearMatrix curves;                // regional curve and a smoothed fit per "iteration"
    std::vector<int> series;          // series per ring number
    int ages = 0;

    Fixture() {
        indices = rw.widths;
        for (int j = 0; j < rw.widths.cols(); ++j) {
            double s = 0;
            for (int i = 0; i < rw.years[j].length; ++i) s += rw.widths(i, j);
            const float mean = static_cast<float>(s / rw.years[j].length);
            for (int i = 0; i < rw.years[j].length; ++i) indices(i, j) = rw.widths(i, j) / mean;
        }
        chron.assign(rw.summary.length, 0.0f);
        count.assign(rw.summary.length, 0.0f);
        for (int j = 0; j < indices.cols(); ++j)
            for (int i = 0; i < rw.years[j].length; ++i) {
                const int k = rw.years[j].first - rw.summary.first + i;
                chron[k] += indices(i, j);
                count[k] += 1.0f;
            }
        for (std::size_t k = 0; k < chron.size(); ++k) chron[k] = count[k] > 0 ? chron[k] / count[k] : 1.0f;
        // Mean by ring number as the regional curve, a 31-ring running mean as its fit, and two
        // more "iterations" slightly raised.
        ages = rw.widths.rows();
        curves.resize(ages, 6);
        std::vector<double> sum(ages, 0.0);
        std::vector<int> n(ages, 0);
        for (int j = 0; j < rw.widths.cols(); ++j)
            for (int i = 0; i < rw.years[j].length; ++i) {
                sum[i] += rw.widths(i, j);
                ++n[i];
            }
        series = n;
        for (int it = 0; it < 3; ++it)
            for (int a = 0; a < ages; ++a) {
                curves(a, 2 * it) = static_cast<float>(sum[a] / n[a]) * (1.0f + 0.05f * it);
                double s = 0;
                const int lo = std::max(0, a - 15), hi = std::min(ages - 1, a + 15);
                for (int b = lo; b <= hi; ++b) s += sum[b] / n[b];
                curves(a, 2 * it + 1) = static_cast<float>(s / (hi - lo + 1)) * (1.0f + 0.05f * it);
            }
    }
    std::span<const float> rc() const { return curves.column(0); }
    std::span<const float> fit() const { return curves.column(1); }
};

const Fixture& data() {
    static const Fixture f;  // read once; the plots never change it
    return f;
}

using kestrovan::testing::TempDir;

std::string head_of(const fs::path& p, std::size_t n) {
    std::ifstream f(p, std::ios::binary);
    std::string s(n, '\0');
    f.read(s.data(), static_cast<std::streamsize>(n));
    s.resize(static_cast<std::size_t>(f.gcount()));
    return s;
}

// The size of a PostScript file holding one empty page.
std::uintmax_t empty_page_size(const TempDir& dir) {
    const std::string path = (dir / "empty.ps").string();
    set_plplot_lib();
    plsdev("psc");
    plsfnam(path.c_str());
    plspause(0);
    plinit();
    pladv(0);
    plend();
    return fs::file_size(path);
}

struct Session {
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
    std::unique_ptr<Plotter> plotter;
    Session(const std::string& answers, const PlotSettings& settings) : in(answers) {
        plotter = make_plotter(settings, console);
    }
};

PlotSettings null_device(const TempDir& dir) {
    PlotSettings s;
    s.device = "null";
    s.directory = dir.str();
    return s;
}

const std::string kMenu =
    "\n |************* plot options menu ***************|\n"
    " |-----------------------------------------------|\n"
    " |       [s]ave   <[c]ontinue>   [r]eplot        |\n"
    " |_______________________________________________|\n"
    "\n enter option number > ";

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Every routine drawn on the null device and saved: each file is PostScript with a drawing on it.
// Saves in one run never replace each other: a name this run wrote gets a number, while a file
// left from before the run is replaced.
TEST(PlotRoutines, EachSavesAPostScriptFileWithADrawingUnderADistinctName) {
    const Fixture& f = data();
    TempDir dir;
    const auto empty = empty_page_size(dir);
    auto saved = [&](const std::string& name) {
        const fs::path p = dir / name;
        ASSERT_TRUE(fs::exists(p)) << name;
        EXPECT_EQ(head_of(p, 4), "%!PS") << name;
        EXPECT_GT(fs::file_size(p), empty + 1000) << name;
        fs::remove(p);
    };
    std::ofstream(dir / "fig11.ps") << "left by an earlier run\n";
    Session s("s\nc\ns\nc\ns\nc\ns\nc\ns\nc\ns\nc\ns\nc\ns\nc\ns\nc\n", null_device(dir));
    Plotter& p = *s.plotter;
    std::vector<float> eps(f.chron.size(), 0.85f);
    p.plot1({.y1 = f.chron,
             .y2 = f.count,
             .first_year = f.rw.summary.first,
             .x_label = "Years",
             .y_label = "Indices",
             .title = "Original & Signal Free Chronology, Iter =   3",
             .legend1 = "Original STD Chronology",
             .legend2 = "Signal Free STD Chron",
             .reference = eps});
    saved("Original&SignalFreeChronology,Iter=3.ps");

    p.plt1(f.rc(), f.fit(), 1, f.ages, kMissing, "Initial RC and MVF fit", 0, f.series);
    saved("fig11.ps");  // replaces the earlier run's file

    p.plt2(f.indices, f.rw.years, kMissing);
    saved("fig11_2.ps");  // the first one was removed, but it was this run's: still a new name

    const int k = 5;  // one series against age and year
    EXPECT_TRUE(p.plt3({.by_year = f.rw.widths.column(k).first(f.rw.years[k].length),
                        .by_age = f.rw.widths.column(k).first(f.rw.years[k].length),
                        .curve = f.fit(),
                        .first_year = f.rw.years[k].first,
                        .last_year = f.rw.years[k].last,
                        .missing = kMissing,
                        .curve_ages = f.ages,
                        .id = f.rw.ids[k],
                        .title = "Iteration       Regional Curve MVF",
                        .age_before = 0,
                        .age_offset = 0}));
    saved("fig1.ps");

    p.plt4(f.curves, f.ages, 3, 0, kMissing, f.series);
    saved("fig1_2.ps");
    p.plt5(f.curves, f.ages, 3, 0, kMissing, f.series);
    saved("fig1_3.ps");

    // A spectrum-like table: frequencies 0 .. 0.5 with a zero power that must be left out.
    std::vector<float> freq, p2, p3;
    for (int i = 0; i <= 100; ++i) {
        freq.push_back(0.005f * i);
        p2.push_back(i == 0 ? 0.0f : 1.0f / (1.0f + 50.0f * freq.back()));
        p3.push_back(0.5f + 0.4f * std::cos(0.3f * i));
    }
    p.plt6({.frequency = freq,
            .power2 = p2,
            .power3 = p3,
            .n = 101,
            .legend2 = "STD Power Spectrum",
            .legend3 = "SSF Power Spectrum"});
    saved("fig1b.ps");

    YearMatrix biweights(static_cast<int>(f.chron.size()), 4);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < biweights.rows(); ++i)
            biweights(i, j) = 1.0f - 0.2f * j + 0.1f * std::sin(0.1f * i + j);
    std::vector<float> no_reference{-999.9f};
    p.spaghetti({.lines = &biweights,
                 .n = biweights.rows(),
                 .m = 4,
                 .reference = no_reference,
                 .first_year = f.rw.summary.first,
                 .x_label = "Years",
                 .y_label = "Biweights",
                 .title = "Biweights For Standard Chronology",
                 .legend1 = "Iteration:   0",
                 .legend2 = "hh,med,hl,min biwgts"});
    saved("BiweightsForStandardChronology.ps");

    // Spread against level per series (the fitted lines need not be exact for drawing).
    const int m = 6;
    YearMatrix lx(f.rw.widths.rows(), m), ly(f.rw.widths.rows(), m);
    std::vector<float> slope(m, 0.9f), intercept(m, -1.1f);
    std::vector<int> counts(m, 0);
    for (int j = 0; j < m; ++j)
        for (int i = 1; i < f.rw.years[j].length; ++i) {
            const float a = f.rw.widths(i - 1, j), b = f.rw.widths(i, j);
            if (a <= 0 || b <= 0 || a == b) continue;
            lx(counts[j], j) = std::log((a + b) / 2);
            ly(counts[j]++, j) = std::log(std::fabs(b - a));
        }
    p.scatplt(lx, ly, slope, intercept, counts, 0.62f, -1.1f, 0.95f);
    saved("fig1b_2.ps");

    // Every plot showed the menu twice (after the screen drawing and after the saved one);
    // plt3's menu has its own line.
    EXPECT_EQ(count_of(s.out.str(), kMenu), 16u);
    EXPECT_EQ(count_of(s.out.str(), "[n]o more plots"), 2u);
    EXPECT_EQ(count_of(s.out.str(), " Plot saved to " + dir.str() + "/"), 9u);
    EXPECT_NE(s.out.str().find(" Plot saved to " + (dir / "fig1_3.ps").string() + "\n"), std::string::npos);
}

TEST(PlotMenu, SaveReplotContinueAndNoMorePlots) {
    const Fixture& f = data();
    TempDir dir;
    const std::string file = "MeanSegmentLengthAndMeanTreeAge.ps";
    auto draw = [&](Plotter& p) {
        p.plot1({.y1 = f.count,
                 .y2 = f.count,
                 .first_year = f.rw.summary.first,
                 .x_label = "Years",
                 .y_label = "",
                 .title = "Mean Segment Length And Mean Tree Age",
                 .legend1 = " Mean Segment Length",
                 .legend2 = "Mean Approx Tree Age",
                 .reference = std::vector<float>{-999.9f}});
    };
    {  // [s] then [c]: one file written, the menu twice, then the routine returns.
        Session s("s\nc\nleft over\n", null_device(dir));
        draw(*s.plotter);
        EXPECT_TRUE(fs::exists(dir / file));
        // Each menu is preceded by the line that names its plot.
        const std::string named = " Plot: Mean Segment Length And Mean Tree Age\n" + kMenu;
        EXPECT_EQ(s.out.str(), named + " Plot saved to " + (dir / file).string() + "\n" + named);
        std::string rest;
        std::getline(s.in, rest);
        EXPECT_EQ(rest, "left over");
        fs::remove(dir / file);
    }
    {  // [r] redraws and asks again; "C", a blank and "Y" all return without a file.
        for (const char* answers : {"r\nR\nC\n", "\n", "y\n"}) {
            Session s(answers, null_device(dir));
            draw(*s.plotter);
            EXPECT_FALSE(fs::exists(dir / file)) << answers;
            EXPECT_EQ(count_of(s.out.str(), kMenu), answers[0] == 'r' ? 3u : 1u) << answers;
        }
    }
    {  // End of input at the menu takes the default (continue): no loop, no stop.
        Session s("", null_device(dir));
        draw(*s.plotter);
        EXPECT_EQ(count_of(s.out.str(), kMenu), 1u);
    }
    {  // A save file that cannot be created: said so, the menu again, the program goes on.
        PlotSettings settings = null_device(dir);
        settings.directory = (dir / "no_such_directory").string();
        Session s("s\nc\n", settings);
        draw(*s.plotter);
        EXPECT_NE(s.out.str().find("Cannot create the plot file"), std::string::npos);
        EXPECT_EQ(count_of(s.out.str(), kMenu), 2u);
    }
    {  // plt3's menu offers [n]o more plots; "n" and "N" answer false, anything else true.
        const int k = 2;
        auto series = f.rw.widths.column(k).first(f.rw.years[k].length);
        for (const char* answers : {"n\n", "N\n", "c\n", "s\nn\n"}) {
            Session s(answers, null_device(dir));
            const bool more = s.plotter->plt3({.by_year = series,
                                               .by_age = series,
                                               .curve = f.fit(),
                                               .first_year = f.rw.years[k].first,
                                               .last_year = f.rw.years[k].last,
                                               .missing = kMissing,
                                               .curve_ages = f.ages,
                                               .id = f.rw.ids[k],
                                               .title = "Tree-ring plot",
                                               .age_before = 0,
                                               .age_offset = 0});
            EXPECT_EQ(more, answers[0] == 'c') << answers;
            EXPECT_NE(s.out.str().find(" | [s]ave  [c]ontinue  [r]eplot  [n]o more plots |\n"),
                      std::string::npos);
        }
        EXPECT_TRUE(fs::exists(dir / "fig1.ps"));  // from "s" then "n"
    }
}

TEST(PlotMenu, TooManyRegionalCurvesAndLinguineAskOnlyWhereAMenuWould) {
    const Fixture& f = data();
    TempDir dir;
    const std::string message =
        "\n Too many Regional curves to plot. Try plotting them outside this program.\n";
    YearMatrix many(f.ages, 42);
    {
        Session s("first\nsecond\n", null_device(dir));
        s.plotter->plt4(many, f.ages, 21, 0, kMissing, f.series);
        EXPECT_EQ(s.out.str(), message + " Hit RETURN to Continue\n");
        std::string rest;
        std::getline(s.in, rest);
        EXPECT_EQ(rest, "second");  // the pause took one line
    }
    {  // linguine2 draws once and never asks.
        Session s("untouched\n", null_device(dir));
        std::vector<float> mean(f.chron);
        s.plotter->linguine2({.initial = &f.rw.widths,
                              .final = &f.indices,
                              .mean = mean,
                              .years = f.rw.years,
                              .summary = f.rw.summary,
                              .x_label = "Years",
                              .y_label = "Measurements",
                              .title = "Original and Final Signal Free Raw Data",
                              .legend1 = "Iteration:   0",
                              .legend2 = "Iteration:   7"});
        EXPECT_EQ(s.out.str(), "");
        EXPECT_EQ(s.in.tellg(), 0);
    }
    {  // Answers from a file (input not a terminal): the plots are drawn, and saved nowhere,
        // but no menu and no pause reads a line, plt4's "Hit RETURN" included.
        PlotSettings settings = null_device(dir);
        settings.interactive = false;
        Session s("s\nn\n", settings);
        s.plotter->plot1({.y1 = f.chron,
                          .y2 = f.count,
                          .first_year = f.rw.summary.first,
                          .x_label = "Year",
                          .y_label = "Index",
                          .title = "Chronology",
                          .legend1 = "a",
                          .legend2 = "b"});
        EXPECT_TRUE(s.plotter->plt3({.by_year = f.chron,
                                     .by_age = f.chron,
                                     .curve = f.fit(),
                                     .first_year = f.rw.summary.first,
                                     .last_year = f.rw.summary.last,
                                     .missing = kMissing,
                                     .curve_ages = f.ages,
                                     .id = "GP01",
                                     .title = "RC",
                                     .age_before = 0,
                                     .age_offset = 0}));
        s.plotter->plt4(many, f.ages, 21, 0, kMissing, f.series);
        EXPECT_EQ(s.out.str(), message);
        EXPECT_EQ(s.in.tellg(), 0);
        EXPECT_TRUE(fs::is_empty(dir.str()));
    }
}

TEST(PlotsOff, NothingIsDrawnAndNoInputIsRead) {
    const Fixture& f = data();
    TempDir dir;
    PlotSettings settings;
    settings.enabled = false;
    settings.directory = dir.str();
    Session s("s\nn\n", settings);
    Plotter& p = *s.plotter;
    EXPECT_FALSE(p.enabled());
    p.plot1({.y1 = f.chron,
             .y2 = f.count,
             .first_year = f.rw.summary.first,
             .x_label = "Years",
             .y_label = "Indices",
             .title = "Title",
             .legend1 = "a",
             .legend2 = "b"});
    p.plt1(f.rc(), f.fit(), 1, f.ages, kMissing, "Initial RC and MVF fit", 0, f.series);
    p.plt2(f.indices, f.rw.years, kMissing);
    EXPECT_TRUE(p.plt3({.by_year = f.chron,
                        .by_age = f.chron,
                        .curve = f.fit(),
                        .first_year = 1,
                        .last_year = 2,
                        .missing = kMissing,
                        .curve_ages = 10,
                        .id = "id",
                        .title = "t",
                        .age_before = 0,
                        .age_offset = 0}));
    p.plt5(f.curves, f.ages, 3, 0, kMissing, f.series);
    p.spaghetti({.lines = &f.curves,
                 .n = f.ages,
                 .m = 2,
                 .first_year = 1,
                 .x_label = "x",
                 .y_label = "y",
                 .title = "Spag",
                 .legend1 = "l1",
                 .legend2 = "l2"});
    EXPECT_EQ(s.out.str(), "");
    // The message of too many curves still prints (one console text for every mode), unpaused.
    p.plt4(f.curves, f.ages, 21, 0, kMissing, f.series);
    EXPECT_NE(s.out.str().find("Too many Regional curves"), std::string::npos);
    EXPECT_EQ(s.in.tellg(), 0);
    EXPECT_TRUE(fs::is_empty(dir.str()));
}

TEST(FileDevice, EachDrawingGoesToANumberedFileWithoutAMenu) {
    const Fixture& f = data();
    TempDir dir;
    PlotSettings settings;
    settings.device = "pngcairo";
    settings.directory = dir.str();
    Session s("untouched\n", settings);
    s.plotter->plot1({.y1 = f.chron,
                      .y2 = f.count,
                      .first_year = f.rw.summary.first,
                      .x_label = "Years",
                      .y_label = "Indices",
                      .title = "Robust Original & Signal Free",
                      .legend1 = "Original STD Chronology",
                      .legend2 = "Signal Free STD Chron",
                      .reference = std::vector<float>{-999.9f}});
    EXPECT_TRUE(s.plotter->plt3({.by_year = f.chron,
                                 .by_age = f.chron,
                                 .curve = f.fit(),
                                 .first_year = f.rw.summary.first,
                                 .last_year = f.rw.summary.last,
                                 .missing = kMissing,
                                 .curve_ages = f.ages,
                                 .id = "GP01",
                                 .title = "RC",
                                 .age_before = 0,
                                 .age_offset = 0}));
    s.plotter->plt4(f.curves, f.ages, 21, 0, kMissing, f.series);  // message, no pause
    EXPECT_EQ(s.out.str().find("plot options menu"), std::string::npos);
    EXPECT_EQ(s.in.tellg(), 0);
    const fs::path first = dir / "plot001_RobustOriginalSignalFree.png";
    const fs::path second = dir / "plot002_RC_GP01.png";
    ASSERT_TRUE(fs::exists(first));
    ASSERT_TRUE(fs::exists(second));
    EXPECT_EQ(head_of(first, 4), "\x89PNG");
}

// The width and height of a PNG file, from its header.
std::pair<unsigned, unsigned> png_size(const fs::path& p) {
    const std::string h = head_of(p, 24);
    auto be32 = [&](std::size_t at) {
        unsigned v = 0;
        for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(h[at + i]);
        return v;
    };
    return {be32(16), be32(20)};
}

// The text of an SVG's text elements, PLplot's character references decoded.
std::string svg_texts(const fs::path& p) {
    std::ifstream f(p);
    const std::string svg((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::string out;
    for (auto at = svg.find("<text"); at != std::string::npos; at = svg.find("<text", at + 1)) {
        const auto end = svg.find("</text>", at);
        bool in_tag = false;
        for (auto i = svg.find('>', at) + 1; i < end; ++i) {
            if (svg[i] == '<') in_tag = true;
            if (!in_tag) {
                if (svg.compare(i, 3, "&#x") == 0) {
                    const auto semi = svg.find(';', i);
                    out += static_cast<char>(std::stoi(svg.substr(i + 3, semi - i - 3), nullptr, 16));
                    i = semi;
                } else {
                    out += svg[i];
                }
            }
            if (svg[i] == '>') in_tag = false;
        }
        out += '|';
    }
    return out;
}

// A PNG's size follows the plot size (2400 x 1800 by default, a taller page for four rows of
// panels); PLplot's own svg device writes titles, labels and legends as text elements.
TEST(FileDevice, PngSizeFollowsTheOptionAndSvgHoldsTextElements) {
    const Fixture& f = data();
    TempDir dir;
    auto draw = [&](const PlotSettings& settings) {
        Session s("", settings);
        s.plotter->plot1({.y1 = f.chron,
                          .first_year = f.rw.summary.first,
                          .x_label = "Year",
                          .y_label = "Index",
                          .title = "Robust Original & Signal Free Chronology, Iter =  5",
                          .legend1 = "Original STD Chronology",
                          .legend2 = "     ",
                          .unit_line = true});
        s.plotter->plt4(f.curves, f.ages, 3, 0, kMissing, f.series);
    };
    PlotSettings settings;
    settings.device = "pngcairo";
    settings.directory = dir.str();
    draw(settings);
    EXPECT_EQ(png_size(dir / "plot001_RobustOriginalSignalFreeChronologyIter5.png"), std::make_pair(2400u, 1800u));
    EXPECT_EQ(png_size(dir / "plot002_RegionalCurveFits.png"), std::make_pair(2400u, 1800u));  // 2 x 2 panels
    settings.size = *parse_plot_size("4x3in@250");
    settings.directory = (dir / "small").string();
    fs::create_directory(dir / "small");
    draw(settings);
    EXPECT_EQ(png_size(dir / "small" / "plot001_RobustOriginalSignalFreeChronologyIter5.png"),
              std::make_pair(1000u, 750u));

    settings.device = "svg";
    settings.size = {};
    settings.directory = (dir / "svg").string();
    fs::create_directory(dir / "svg");
    draw(settings);
    const std::string texts = svg_texts(dir / "svg" / "plot001_RobustOriginalSignalFreeChronologyIter5.svg");
    EXPECT_NE(texts.find("|Robust Original & Signal Free Chronology, Iter =  5|"), std::string::npos) << texts;
    EXPECT_NE(texts.find("|Original STD Chronology|"), std::string::npos);
    EXPECT_NE(texts.find("|Index|"), std::string::npos);
    EXPECT_NE(svg_texts(dir / "svg" / "plot002_RegionalCurveFits.svg").find("|Iteration #  2|"), std::string::npos);
}

TEST(DeviceChoice, UnknownAndDisplaylessDevicesFallBackToNull) {
    DeviceChoice c = choose_device("", false);
    EXPECT_EQ(c.name, "null");
    EXPECT_EQ(c.kind, DeviceKind::Screen);
    EXPECT_TRUE(c.message.empty());

    c = choose_device("no-such-device", true);
    EXPECT_EQ(c.name, "null");
    EXPECT_NE(c.message.find("no-such-device"), std::string::npos);

    c = choose_device("xcairo", false);
    EXPECT_EQ(c.name, "null");
    EXPECT_FALSE(c.message.empty());

    c = choose_device("svgcairo", false);
    EXPECT_EQ(c.name, "svgcairo");
    EXPECT_EQ(c.kind, DeviceKind::File);
    EXPECT_EQ(c.extension, ".svg");

    c = choose_device("svg", false);  // PLplot's own SVG: text as text elements
    EXPECT_EQ(c.kind, DeviceKind::File);
    EXPECT_EQ(c.extension, ".svg");

    c = choose_device("psc", false);
    EXPECT_EQ(c.kind, DeviceKind::File);
    EXPECT_EQ(c.extension, ".ps");

    c = choose_device("", true);  // with a display an interactive device is picked
    EXPECT_NE(c.name, "null");
    EXPECT_EQ(c.kind, DeviceKind::Screen);
}

}  // namespace
}  // namespace kestrovan
