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

    std::vector<int> line_colours() const {
        std::vector<int> c;
        for (const auto& l : lines) c.push_back(l.colour);
        return c;
    }
    bool has_legend(int colour, const std::string& text) const {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const DrawnText& t) { return t.colour == colour && t.text == text; });
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
    void pen(double) override {}
    void dashed(bool) override {}
    void box(AxisRange x, AxisRange y, BoxStyle, bool) override {
        now().boxes.push_back({});
        box_().x = x;
        box_().y = y;
        right_ = false;
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
        box_().lines.push_back({colour_, right_, {x.begin(), x.end()}, {y.begin(), y.end()}});
    }
    void points(std::span<const double> x, std::span<const double> y) override { line(x, y); }
    void text(TextPlace, std::string_view text) override {
        box_().texts.push_back({colour_, std::string(text)});
    }
    double text_fraction(std::string_view text) override { return 0.015 * static_cast<double>(text.size()); }
    void text_size(double) override {}

private:
    Drawing& now() { return r_.drawings[stack_.back()]; }
    DrawnBox& box_() { return now().boxes.back(); }
    Record& r_;
    std::vector<std::size_t> stack_;
    int colour_ = 15;
    bool right_ = false;
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
        EXPECT_TRUE(std::any_of(b.texts.begin(), b.texts.end(),
                                [&](const DrawnText& t) { return t.colour == l.colour; }))
            << what << ": a line in colour " << l.colour << " has no legend";
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
    p.plt6(freq, power, power, 20, "STD Power Spectrum", "SSF Power Spectrum");
    ASSERT_EQ(s.record.drawings.size(), 7u);
    for (const Drawing& d : s.record.drawings)
        for (const DrawnBox& b : d.boxes) expect_readable(b, d.page.device + " " + b.y_label);

    // RBAR: the years before the first valid window are left out of both lines.
    const DrawnBox& r = s.box(0);
    ASSERT_EQ(r.lines.size(), 2u);
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
