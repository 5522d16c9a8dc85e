#pragma once
// What the plots draw on: the few PLplot calls they use, behind an interface so that the tests
// can record what a plot draws (its lines, colours, legends and pages) without PLplot.
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "plot/plot_ranges.hpp"

namespace kestrovan {

// One drawing: a device, its output file, the page size and the subpages.
struct CanvasPage {
    std::string device;  // PLplot device name
    std::string file;    // output file; "" for a screen or the null device
    int columns = 1, rows = 1;
    bool wait_at_end = false;  // the window waits for a key in it when the drawing ends
    // The page in device units (pixels for raster devices, points for vector ones); 0 keeps the
    // device's own size. Text grows with the page by itself; line widths are multiplied by
    // line_scale, so that a large picture reads like a small one.
    int width = 0, height = 0;
    double line_scale = 1.0;
};

enum class BoxStyle {
    Plain,  // frame, ticks and numbers
    Grid,   // the same over light grid lines
    LogY,   // the y values are common logarithms, labelled as powers of ten
};

// One entry of a legend: a line sample (or a filled box) in its colour, width and style.
struct LegendEntry {
    int colour = 15;
    double width = 1.0;
    bool dashed = false;
    bool filled = false;  // a filled box instead of a line
    std::string text;
};

// Where a box goes and what room it leaves around it.
struct BoxOptions {
    BoxStyle style = BoxStyle::Plain;
    bool right_axis = false;  // room on the right for a second y axis (see right_axis below)
    bool top_axis = false;    // room above for a second x axis (see top_axis below)
    // The part of the subpage height the box takes (0 = bottom, 1 = top), and whether the box
    // shares the subpage of the previous one instead of starting the next.
    double bottom = 0.0, top = 1.0;
    bool same_subpage = false;
    bool x_numbers = true;  // numbers on the x axis
    bool y_numbers = true;  // numbers and ticks on the y axis
    // The legend the box will get, and the lines it will hold (in box coordinates), so that the
    // box can choose the legend's place and leave room below itself when no corner is free.
    std::span<const LegendEntry> legend{};
    std::span<const BoxPath> paths{};
};

// A text placed relative to the box (PLplot's plmtex): side "t" above the box, "r" right of it;
// disp in character heights outwards, pos along the side (0 .. 1), just 0 left, 0.5 centred.
struct TextPlace {
    const char* side = "t";
    double disp = 1.0;
    double pos = 0.0;
    double just = 0.0;
};

class Canvas {
public:
    virtual ~Canvas() = default;

    // Starts a drawing. A drawing opened while another is open (saving a plot that is on the
    // screen) is drawn on its own and closed first; the open one stays as it is.
    virtual void open(const CanvasPage& page) = 0;
    // Ends the drawing opened last (its file is complete, its window closes).
    virtual void close() = 0;
    // Shows what is drawn so far (a screen window stays open with it).
    virtual void show() = 0;

    virtual void colour(int index) = 0;
    // Line width in units of the thinnest line of a screen-sized page.
    virtual void pen(double width) = 0;
    virtual void dashed(bool on) = 0;
    // The next subpage (or a part of the current one) with its frame and axes. Returns where the
    // legend of options.legend goes: the first free corner for its size, else below the box,
    // which then leaves the room for it.
    virtual LegendPlace box(AxisRange x, AxisRange y, const BoxOptions& options) = 0;
    // A second y scale on the right of the current box, with its label; the lines drawn after
    // it use that scale (and the x range of the box).
    virtual void right_axis(AxisRange y, std::string_view label) = 0;
    // Ticks with labels along the top of the current box at the given x values, and the axis
    // label above them (the box must have been opened with top_axis).
    virtual void top_axis(std::span<const double> at, std::span<const std::string> labels,
                          std::string_view label) = 0;
    // The axis labels, and the title above the box.
    virtual void labels(std::string_view x, std::string_view y, std::string_view top) = 0;
    virtual void line(std::span<const double> x, std::span<const double> y) = 0;
    virtual void points(std::span<const double> x, std::span<const double> y) = 0;
    // A filled polygon in the current colour.
    virtual void fill(std::span<const double> x, std::span<const double> y) = 0;
    virtual void text(TextPlace place, std::string_view text) = 0;
    // The legend of the current box, with a sample of each line.
    virtual void legend(std::span<const LegendEntry> entries, LegendPlace place) = 0;
};

// The canvas that draws with PLplot.
std::unique_ptr<Canvas> make_plplot_canvas();

}  // namespace kestrovan
