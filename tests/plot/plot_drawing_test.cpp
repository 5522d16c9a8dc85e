// What the plots draw, recorded on a stand-in canvas instead of PLplot: the lines with their
// colours, the legend entries, the axes and the order in which drawings open and close.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "plot/canvas.hpp"
#include "plot/plotter.hpp"

namespace kestrovan {
namespace {

struct DrawnLine {
    int colour = 0;
    bool right_scale = false;  // drawn against the right-hand axis
    std::vector<double> x, y;
    bool dashed = false;
    bool filled = false;  // a filled shape (a bar)
    double width = 1.0;
};

struct DrawnText {
    int colour = 0;
    std::string text;
};

// One box (subpage) of a drawing.
struct DrawnBox {
    AxisRange x, y, right{0.0f, 0.0f};
    std::string x_label, y_label, right_label;
    std::vector<DrawnLine> lines;
    std::vector<DrawnText> texts;
    std::vector<LegendEntry> legend;
    LegendPlace legend_place = LegendPlace::TopRight;
    BoxOptions options;
    std::vector<double> top_ticks;

    std::vector<int> line_colours() const {
        std::vector<int> c;
        for (const auto& l : lines) c.push_back(l.colour);
        return c;
    }
    bool has_legend(int colour, const std::string& text) const {
        return std::any_of(legend.begin(), legend.end(),
                           [&](const LegendEntry& e) { return e.colour == colour && e.text == text; });
    }
    const LegendEntry* entry(const std::string& text) const {
        for (const auto& e : legend)
            if (e.text == text) return &e;
        return nullptr;
    }
};

struct Drawing {
    CanvasPage page;
    std::vector<DrawnBox> boxes;
};

struct Record {
    std::vector<Drawing> drawings;
    std::vector<std::string> events;  // "open DEVICE", "show", "close DEVICE"
};

class RecordingCanvas final : public Canvas {
public:
    explicit RecordingCanvas(Record& r) : r_(r) {}
    void open(const CanvasPage& page) override {
        r_.drawings.push_back({page, {}});
        stack_.push_back(r_.drawings.size() - 1);
        r_.events.push_back("open " + page.device);
    }
    void close() override {
        r_.events.push_back("close " + now().page.device);
        stack_.pop_back();
    }
    void show() override { r_.events.push_back("show"); }
    void colour(int index) override { colour_ = index; }
    void pen(double width) override { width_ = width; }
    void dashed(bool on) override { dashed_ = on; }
    // The legend's place as the PLplot canvas chooses it, for a nominal text size.
    LegendPlace box(AxisRange x, AxisRange y, const BoxOptions& o) override {
        now().boxes.push_back({});
        box_().x = x;
        box_().y = y;
        box_().options = o;
        right_ = false;
        std::size_t longest = 0;
        for (const auto& e : o.legend) longest = std::max(longest, e.text.size());
        return o.legend.empty() ? LegendPlace::TopRight
                                : legend_place(o.paths, 0.1 + 0.015 * static_cast<double>(longest),
                                               0.05 * static_cast<double>(o.legend.size()));
    }
    void top_axis(std::span<const double> at, std::span<const std::string>, std::string_view) override {
        box_().top_ticks.assign(at.begin(), at.end());
    }
    void fill(std::span<const double> x, std::span<const double> y) override {
        line(x, y);
        box_().lines.back().filled = true;
    }
    void legend(std::span<const LegendEntry> entries, LegendPlace place) override {
        box_().legend.assign(entries.begin(), entries.end());
        box_().legend_place = place;
    }
    void right_axis(AxisRange y, std::string_view label) override {
        box_().right = y;
        box_().right_label = label;
        right_ = true;
    }
    void labels(std::string_view x, std::string_view y, std::string_view) override {
        box_().x_label = x;
        box_().y_label = y;
    }
    void line(std::span<const double> x, std::span<const double> y) override {
        box_().lines.push_back({colour_, right_, {x.begin(), x.end()}, {y.begin(), y.end()}, dashed_, false, width_});
    }
    void points(std::span<const double> x, std::span<const double> y) override { line(x, y); }
    void text(TextPlace, std::string_view text) override {
        box_().texts.push_back({colour_, std::string(text)});
    }

private:
    Drawing& now() { return r_.drawings[stack_.back()]; }
    DrawnBox& box_() { return now().boxes.back(); }
    Record& r_;
    std::vector<std::size_t> stack_;
    int colour_ = 15;
    bool right_ = false;
    bool dashed_ = false;
    double width_ = 1.0;
};

constexpr int kBlack = 15, kBlue = 9, kRed = 1, kGrey = 7, kGreen = 3;

struct Session {
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
    Record record;
    std::unique_ptr<Plotter> plotter;
    explicit Session(const std::string& answers = "", bool interactive = false) : in(answers) {
        PlotSettings s;
        s.device = "null";
        s.interactive = interactive;
        s.directory = ::testing::TempDir();
        plotter = make_plotter(s, console, std::make_unique<RecordingCanvas>(record));
    }
    const DrawnBox& box(std::size_t drawing = 0, std::size_t b = 0) const {
        return record.drawings.at(drawing).boxes.at(b);
    }
};

// What every plot must show a reader: each line's colour has a legend entry in that colour,
// no line reaches the frame above or below, and the y axis says what it shows.
void expect_readable(const DrawnBox& b, const std::string& what) {
    EXPECT_FALSE(b.y_label.empty()) << what;
    EXPECT_NE(b.y_label, "Y") << what;
    EXPECT_NE(b.y_label, "Values") << what;
    for (const auto& l : b.lines) {
        // The thin line at index 1.0 is read off the axis.
        const bool unit_line = l.colour == kBlack && l.y.size() == 2 && l.y[0] == 1.0 && l.y[1] == 1.0;
        EXPECT_TRUE(unit_line || std::any_of(b.legend.begin(), b.legend.end(), [&](const LegendEntry& e) {
            return e.colour == l.colour && e.dashed == l.dashed;
        })) << what << ": a line in colour " << l.colour << " has no legend entry with its sample";
        const AxisRange r = l.right_scale ? b.right : b.y;
        for (double v : l.y) {
            ASSERT_GT(v, r.min) << what;
            ASSERT_LT(v, r.max) << what;
        }
    }
}

// A chronology-like pair over 30 years with a thin start, and its sample size.
struct Chronologies {
    std::vector<float> first, second;
    std::vector<int> counts;
    Chronologies() {
        for (int t = 0; t < 30; ++t) {
            first.push_back(1.0f + 0.5f * static_cast<float>((t * 7) % 5 - 2) / 2.0f);
            second.push_back(1.0f + 0.3f * static_cast<float>((t * 3) % 4 - 1.5f));
            counts.push_back(t < 5 ? 1 : std::min(34, t));
        }
    }
};

TEST(PlotDrawing, ChronologyPlotShowsBothChronologiesAndTheSampleSize) {
    const Chronologies c;
    Session s;
    s.plotter->plot1({.y1 = c.first,
                      .y2 = c.second,
                      .first_year = 1600,
                      .x_label = "Year",
                      .y_label = "Index",
                      .title = "Robust Original & Signal Free Chronology, Iter =  4",
                      .legend1 = "Original STD Chronology",
                      .legend2 = "Signal Free STD Chron",
                      .sample_size = c.counts});
    const DrawnBox& b = s.box();
    EXPECT_EQ(b.line_colours(), (std::vector<int>{kBlue, kRed, kGreen}));
    EXPECT_TRUE(b.has_legend(kBlue, "Original STD Chronology"));
    EXPECT_TRUE(b.has_legend(kRed, "Signal Free STD Chron"));
    EXPECT_TRUE(b.has_legend(kGreen, "Sample size"));
    EXPECT_EQ(b.x_label, "Year");
    EXPECT_EQ(b.right_label, "Sample size (series)");
    // The sample size is drawn year by year on its own axis, which starts below 1 series.
    const DrawnLine& n = b.lines[2];
    EXPECT_TRUE(n.right_scale);
    ASSERT_EQ(n.y.size(), 30u);
    EXPECT_EQ(n.x.front(), 1600.0);
    EXPECT_EQ(n.y.front(), 1.0);
    EXPECT_EQ(n.y.back(), 29.0);
    EXPECT_LT(b.right.min, 0.5f);
    expect_readable(b, "chronology");
}

TEST(PlotDrawing, RegionalCurvePlotsShowCurveFitAndSeriesPerAge) {
    // Ages 1..40: the curve, its fit and the number of series at each age (ages 1 and 2 empty).
    std::vector<float> rc(40, kMissing), fit(40, kMissing);
    std::vector<int> series(40, 0);
    YearMatrix curves(40, 6);
    curves.fill(kMissing);
    for (int a = 2; a < 40; ++a) {
        rc[a] = 3.0f - 0.05f * a + 0.1f * static_cast<float>(a % 3);
        fit[a] = 3.0f - 0.05f * a;
        series[a] = 40 - a;
        for (int j = 0; j < 3; ++j) {
            curves(a, 2 * j) = rc[a] + 0.1f * j;
            curves(a, 2 * j + 1) = fit[a] + 0.1f * j;
        }
    }
    Session s;
    s.plotter->plt1(rc, fit, 1, 38, kMissing, "Initial RC and MVF fit", 2, series);
    s.plotter->plt5(curves, 40, 3, 2, kMissing, series);
    s.plotter->plt4(curves, 40, 3, 2, kMissing, series);
    ASSERT_EQ(s.record.drawings.size(), 3u);

    const DrawnBox& one = s.box(0);
    EXPECT_EQ(one.line_colours(), (std::vector<int>{kBlue, kRed, kGreen}));
    EXPECT_TRUE(one.has_legend(kBlue, "Regional curve"));
    EXPECT_TRUE(one.has_legend(kRed, "Fit"));
    EXPECT_TRUE(one.has_legend(kGreen, "Sample size"));
    EXPECT_EQ(one.x_label, "Biological age (years)");
    EXPECT_EQ(one.y_label, "Width (mm)");
    EXPECT_EQ(one.lines[2].x.front(), 3.0);  // the count starts at the youngest age with data
    EXPECT_EQ(one.lines[2].y.front(), 38.0);
    expect_readable(one, "plt1");

    // All fits together: the one between in grey under the initial (blue) and final (red).
    const DrawnBox& all = s.box(1);
    EXPECT_EQ(all.line_colours(), (std::vector<int>{kGrey, kBlue, kRed, kGreen}));
    EXPECT_TRUE(all.has_legend(kGrey, "Iterations between"));
    EXPECT_TRUE(all.has_legend(kGreen, "Sample size"));
    expect_readable(all, "plt5");

    // One panel per iteration, each with its own legends and the same colours as plt1.
    ASSERT_EQ(s.record.drawings[2].boxes.size(), 3u);
    for (const DrawnBox& panel : s.record.drawings[2].boxes) {
        EXPECT_EQ(panel.line_colours(), (std::vector<int>{kBlue, kRed, kGreen}));
        expect_readable(panel, "plt4");
    }
}

TEST(PlotDrawing, EveryOtherPlotHasALegendPerLineAndAMargin) {
    const Chronologies c;
    Session s;
    Plotter& p = *s.plotter;
    // The copied years of an RBAR curve come as the missing code: the line starts after them.
    std::vector<float> rbar(30, kMissing), eps(30, kMissing);
    for (int t = 8; t < 30; ++t) {
        rbar[t] = 0.4f + 0.01f * t;
        eps[t] = 0.8f + 0.005f * t;
    }
    const std::vector<float> threshold(30, 0.85f);
    p.plot1({.y1 = rbar,
             .y2 = rbar,
             .first_year = 1600,
             .x_label = "Year",
             .y_label = "RBAR (mean correlation)",
             .title = "Running Correlations",
             .legend1 = "Running RBAR",
             .legend2 = "Constant Sample RBAR"});
    p.plot1({.y1 = eps,
             .y2 = eps,
             .first_year = 1600,
             .x_label = "Year",
             .y_label = "EPS",
             .title = "EPS",
             .legend1 = "Running EPS",
             .legend2 = "Constant Sample EPS",
             .reference = threshold,
             .reference_legend = "EPS 0.85"});
    p.plot1({.y1 = c.first,
             .first_year = 1600,
             .x_label = "Year",
             .y_label = "Index",
             .title = "One chronology",
             .legend1 = "Standard Chronology",
             .legend2 = "     "});
    YearMatrix lines(30, 4);
    for (int j = 0; j < 4; ++j)
        for (int t = 0; t < 30; ++t) lines(t, j) = 1.0f - 0.1f * j + 0.01f * t;
    const std::string stats[] = {"Upper hinge", "Median", "Lower hinge", "Minimum"};
    p.spaghetti({.lines = &lines,
                 .n = 30,
                 .m = 4,
                 .first_year = 1600,
                 .x_label = "Year",
                 .y_label = "Biweight",
                 .title = "Biweights",
                 .legend1 = "Iteration:   0",
                 .line_legends = stats});
    p.spaghetti({.lines = &lines,
                 .n = 30,
                 .m = 4,
                 .first_year = 1600,
                 .x_label = "Year",
                 .y_label = "Index",
                 .title = "Iterations",
                 .legend1 = "First",
                 .legend2 = "Final"});
    std::vector<YearSpan> years{{1600, 1629, 30}, {1605, 1629, 25}};
    p.linguine2({.initial = &lines,
                 .final = &lines,
                 .mean = lines.column(1),
                 .years = years,
                 .summary = {1600, 1629, 30},
                 .x_label = "Year",
                 .y_label = "Index",
                 .title = "Indices",
                 .legend1 = "Original",
                 .legend2 = "Final"});
    std::vector<float> freq, power;
    for (int i = 1; i <= 20; ++i) {
        freq.push_back(0.025f * i);
        power.push_back(1.0f / static_cast<float>(i));
    }
    p.plt6({.frequency = freq,
            .power2 = power,
            .power3 = power,
            .n = 20,
            .legend2 = "STD Power Spectrum",
            .legend3 = "SSF Power Spectrum"});
    ASSERT_EQ(s.record.drawings.size(), 7u);
    for (const Drawing& d : s.record.drawings)
        for (const DrawnBox& b : d.boxes) expect_readable(b, d.page.device + " " + b.y_label);

    // RBAR: the years before the first valid window are left out; the two equal lines are
    // drawn once.
    const DrawnBox& r = s.box(0);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].x.front(), 1608.0);
    EXPECT_EQ(r.lines[0].x.size(), 22u);
    EXPECT_GT(r.y.min, 0.39f);  // the range takes in only what is drawn
    // EPS: the dashed threshold in black with its own legend; the chronology drawn once.
    EXPECT_TRUE(s.box(1).has_legend(kBlack, "EPS 0.85"));
    EXPECT_EQ(s.box(2).line_colours(), (std::vector<int>{kBlue}));
    // Four biweight statistics in four colours; iterations: grey between blue and red.
    const auto biweights = s.box(3).line_colours();
    EXPECT_EQ(std::set<int>(biweights.begin(), biweights.end()).size(), 4u);
    EXPECT_EQ(s.box(4).line_colours(), (std::vector<int>{kGrey, kGrey, kBlue, kRed}));
    EXPECT_TRUE(s.box(5).has_legend(kBlack, "Mean"));
    EXPECT_EQ(s.box(6).y_label, "Power");
}

// The chronology plot's reference line at 1.0, its smoothed chronology and the legend samples:
// each entry carries its line's colour, width and dash; a threshold is dashed in the legend as
// on the plot; two lines that coincide are drawn once and the legend says so; numbers that would
// need a scale factor are rescaled and the label says by what.
TEST(PlotDrawing, ReferenceLinesSmoothedChronologyAndLegendSamples) {
    const Chronologies c;
    std::vector<float> smooth(30, 1.05f), tiny(30), eps(30, 0.9f);
    for (int t = 0; t < 30; ++t) tiny[t] = 0.0005f + 0.0001f * t;
    const std::vector<float> threshold(30, 0.85f);
    Session s;
    s.plotter->plot1({.y1 = c.first,
                      .y2 = c.second,
                      .first_year = 1600,
                      .x_label = "Year",
                      .y_label = "Index",
                      .title = "Chronology",
                      .legend1 = "Original STD Chronology",
                      .legend2 = "Signal Free STD Chron",
                      .sample_size = c.counts,
                      .unit_line = true,
                      .smooth = smooth,
                      .smooth_legend = "Signal Free STD Chron, 20-yr spline"});
    s.plotter->plot1({.y1 = eps,
                      .y2 = eps,
                      .first_year = 1600,
                      .x_label = "Year",
                      .y_label = "EPS",
                      .title = "EPS",
                      .legend1 = "Running EPS",
                      .legend2 = "Constant Sample EPS",
                      .reference = threshold,
                      .reference_legend = "EPS 0.85"});
    s.plotter->plot1({.y1 = tiny,
                      .y2 = tiny,
                      .first_year = 1,
                      .x_label = "Iteration",
                      .y_label = "Absolute difference (index)",
                      .title = "Convergence",
                      .legend1 = "Mean",
                      .legend2 = "Median"});
    const DrawnBox& chron = s.box(0);
    // The 1.0 line first (under the data) across the whole box, then blue wider than red.
    ASSERT_GE(chron.lines.size(), 4u);
    EXPECT_EQ(chron.lines[0].colour, kBlack);
    EXPECT_EQ(chron.lines[0].y, (std::vector<double>{1.0, 1.0}));
    EXPECT_EQ(chron.lines[0].x, (std::vector<double>{1600.0, 1629.0}));
    EXPECT_EQ(chron.line_colours(), (std::vector<int>{kBlack, kBlue, kRed, kBlack, kGreen}));
    EXPECT_GT(chron.lines[1].width, chron.lines[2].width);
    const LegendEntry* smoothed = chron.entry("Signal Free STD Chron, 20-yr spline");
    ASSERT_NE(smoothed, nullptr);
    EXPECT_EQ(smoothed->colour, kBlack);
    EXPECT_EQ(smoothed->width, chron.lines[3].width);
    EXPECT_EQ(chron.entry("Original STD Chronology")->width, chron.lines[1].width);
    expect_readable(chron, "chronology");

    // The EPS threshold: dashed on the plot and in its legend sample; the equal pair once.
    const DrawnBox& e = s.box(1);
    ASSERT_NE(e.entry("EPS 0.85"), nullptr);
    EXPECT_TRUE(e.entry("EPS 0.85")->dashed);
    EXPECT_TRUE(e.lines[0].dashed);
    EXPECT_EQ(e.line_colours(), (std::vector<int>{kBlack, kRed}));
    EXPECT_NE(e.entry("Running EPS = Constant Sample EPS (the lines coincide)"), nullptr);

    // Values of a few thousandths: drawn times 1000, and the label says so.
    const DrawnBox& small = s.box(2);
    EXPECT_EQ(small.y_label, "Absolute difference (index) (x10#u-3#d)");
    EXPECT_NEAR(small.lines[0].y.front(), 0.5, 1e-4);
    EXPECT_LT(small.y.max, 40.0f);
}

// Marked years (the chronology's EPS and SSS cutoffs): a dashed black vertical line over the
// data, short of the frame, with a dashed legend sample last; a year outside the plot is left out.
TEST(PlotDrawing, MarkedYearsAreDashedVerticalLinesWithTheirLegend) {
    const Chronologies c;
    const std::vector<YearMark> marks{{1612, "EPS 0.85 from 1612"}, {1650, "SSS 0.85 from 1650"}};
    Session s;
    s.plotter->plot1({.y1 = c.first,
                      .y2 = c.second,
                      .first_year = 1600,
                      .x_label = "Year",
                      .y_label = "Index",
                      .title = "Chronology",
                      .legend1 = "Original STD Chronology",
                      .legend2 = "Signal Free STD Chron",
                      .sample_size = c.counts,
                      .year_marks = marks});
    const DrawnBox& b = s.box();
    EXPECT_EQ(b.line_colours(), (std::vector<int>{kBlue, kRed, kBlack, kGreen}));
    const DrawnLine& mark = b.lines[2];
    EXPECT_TRUE(mark.dashed);
    EXPECT_EQ(mark.x, (std::vector<double>{1612.0, 1612.0}));
    ASSERT_EQ(mark.y.size(), 2u);
    EXPECT_LT(mark.y[0], *std::min_element(c.first.begin(), c.first.end()));
    EXPECT_GT(mark.y[1], *std::max_element(c.first.begin(), c.first.end()));
    ASSERT_EQ(b.legend.back().text, "EPS 0.85 from 1612");
    EXPECT_TRUE(b.legend.back().dashed);
    EXPECT_EQ(b.entry("SSS 0.85 from 1650"), nullptr);
    expect_readable(b, "chronology with marked years");
}

// The spectrum's red-noise background and its 95 % level, each in the colour of its spectrum,
// the level dashed, every one with a legend entry; periods marked along the top.
TEST(PlotDrawing, SpectrumShowsRedNoiseLevelsAndAPeriodAxis) {
    std::vector<float> freq, power, red, level;
    for (int i = 0; i <= 40; ++i) {
        freq.push_back(0.0125f * i);
        power.push_back(1.0f / (1.0f + 20.0f * freq.back()) + 0.05f * static_cast<float>(i % 3));
        red.push_back(0.8f / (1.0f + 10.0f * freq.back()));
        level.push_back(1.6f * red.back());
    }
    Session s;
    s.plotter->plt6({.frequency = freq,
                     .power2 = power,
                     .power3 = power,
                     .red2 = red,
                     .red2_95 = level,
                     .red3 = red,
                     .red3_95 = level,
                     .n = 41,
                     .legend2 = "STD Power Spectrum",
                     .legend3 = "SSF Power Spectrum"});
    const DrawnBox& b = s.box();
    EXPECT_EQ(b.legend.size(), 6u);
    ASSERT_NE(b.entry("STD 95 % red-noise level"), nullptr);
    EXPECT_TRUE(b.entry("STD 95 % red-noise level")->dashed);
    EXPECT_EQ(b.entry("SSF red-noise background (AR1)")->colour, kRed);
    EXPECT_EQ(std::count_if(b.lines.begin(), b.lines.end(), [](const DrawnLine& l) { return l.dashed; }), 2);
    expect_readable(b, "spectrum");
    // Periods 2 years (the Nyquist frequency) and longer, each at its frequency.
    ASSERT_FALSE(b.top_ticks.empty());
    EXPECT_DOUBLE_EQ(b.top_ticks.back(), 0.5);
    EXPECT_TRUE(b.options.top_axis);
}

// The segment plot: one bar per series in the order of the first years, the pith offset as a
// thin line before the bar where known, and the series per year in a strip below.
TEST(PlotDrawing, SegmentPlotBarsSortedWithPithAndSampleSize) {
    const std::vector<std::string> ids{"B", "A", "C"};
    const std::vector<YearSpan> years{{1700, 1800, 101}, {1650, 1750, 101}, {1700, 1720, 21}};
    const std::vector<int> pith{5, 0, 12};
    Session s;
    s.plotter->segment_plot({.ids = ids, .years = years, .pith_offsets = pith});
    ASSERT_EQ(s.record.drawings.size(), 1u);
    const DrawnBox& bars = s.box(0, 0);
    std::vector<const DrawnLine*> filled, thin;
    for (const auto& l : bars.lines) (l.filled ? filled : thin).push_back(&l);
    ASSERT_EQ(filled.size(), 3u);
    // Rows from the bottom: A (1650), then B and C (1700, in the file's order).
    EXPECT_EQ(filled[0]->x.front(), 1649.5);
    EXPECT_EQ(filled[1]->x.front(), 1699.5);
    EXPECT_EQ(filled[1]->x[1], 1800.5);
    EXPECT_EQ(filled[2]->x[1], 1720.5);
    EXPECT_LT(filled[0]->y.front(), filled[1]->y.front());
    // Pith lines of B and C (A has none), from first year minus the offset to the bar.
    ASSERT_EQ(thin.size(), 2u);
    EXPECT_EQ(thin[0]->x, (std::vector<double>{1695.0, 1699.5}));
    EXPECT_EQ(thin[1]->x, (std::vector<double>{1688.0, 1699.5}));
    // The strip below: series per year as steps, 1 before 1700, 3 from 1700 to 1720, 2 to 1750.
    const DrawnBox& depth = s.box(0, 1);
    EXPECT_TRUE(depth.options.same_subpage);
    ASSERT_EQ(depth.lines.size(), 1u);
    const DrawnLine& n = depth.lines[0];
    auto count_at = [&](double year) {
        for (std::size_t i = 0; i < n.x.size(); ++i)
            if (n.x[i] > year) return n.y[i];
        return -1.0;
    };
    EXPECT_EQ(count_at(1690), 1.0);
    EXPECT_EQ(count_at(1710), 3.0);
    EXPECT_EQ(count_at(1740), 2.0);
    EXPECT_TRUE(depth.has_legend(kGreen, "Sample size"));
    // A filled sample for the bars, a line for the pith, in a corner of the bars' box.
    ASSERT_NE(bars.entry("Years measured"), nullptr);
    EXPECT_TRUE(bars.entry("Years measured")->filled);
    EXPECT_FALSE(bars.entry("Rings to the pith")->filled);
    EXPECT_NE(bars.legend_place, LegendPlace::Below);
}

// With the menu, the plot stays on the screen while the user answers; a save draws the file on
// its own and the screen drawing stays open; a replot redraws it; the answer to go on closes it.
TEST(PlotDrawing, TheWindowStaysOpenWhileTheMenuIsAnswered) {
    const Chronologies c;
    Session s("s\nr\nc\n", true);
    s.plotter->plot1({.y1 = c.first,
                      .y2 = c.second,
                      .first_year = 1600,
                      .x_label = "Year",
                      .y_label = "Index",
                      .title = "Screen",
                      .legend1 = "a",
                      .legend2 = "b"});
    EXPECT_EQ(s.record.events, (std::vector<std::string>{"open null", "show", "open psc", "close psc",
                                                         "close null", "open null", "show", "close null"}));
    EXPECT_FALSE(s.record.drawings[0].page.wait_at_end);
    const std::string saved = s.record.drawings[1].page.file;
    EXPECT_EQ(saved, ::testing::TempDir() + "Screen.ps");
    std::remove(saved.c_str());
}

}  // namespace
}  // namespace kestrovan
