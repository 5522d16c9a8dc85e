#pragma once
// What the plots draw on: the few PLplot calls they use, behind an interface so that the tests
// can record what a plot draws (its lines, colours, legends and pages) without PLplot.
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "plot/plot_ranges.hpp"

namespace kestrovan {

// One drawing: a device, its output file and the subpages.
struct CanvasPage {
    std::string device;  // PLplot device name
    std::string file;    // output file; "" for a screen or the null device
    int columns = 1, rows = 1;
    bool wait_at_end = false;  // the window waits for a key in it when the drawing ends
};

enum class BoxStyle {
    Plain,  // frame, ticks and numbers
    Grid,   // the same with grid lines
    LogY,   // the y values are common logarithms, labelled as powers of ten
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
    virtual void pen(double width) = 0;
    virtual void dashed(bool on) = 0;
    // The next subpage with its frame and axes. right_axis leaves room on the right for a
    // second y axis (see right_axis below).
    virtual void box(AxisRange x, AxisRange y, BoxStyle style, bool right_axis = false) = 0;
    // A second y scale on the right of the current box, with its label; the lines drawn after
    // it use that scale (and the x range of the box).
    virtual void right_axis(AxisRange y, std::string_view label) = 0;
    // The axis labels, and the title above the box (above the legend row).
    virtual void labels(std::string_view x, std::string_view y, std::string_view top) = 0;
    virtual void line(std::span<const double> x, std::span<const double> y) = 0;
    virtual void points(std::span<const double> x, std::span<const double> y) = 0;
    virtual void text(TextPlace place, std::string_view text) = 0;
    // The width of a text at the current size, as a fraction of the box width.
    virtual double text_fraction(std::string_view text) = 0;
    // The size of the texts that follow, relative to the default (1.0).
    virtual void text_size(double scale) = 0;
};

// The canvas that draws with PLplot.
std::unique_ptr<Canvas> make_plplot_canvas();

}  // namespace kestrovan
