#pragma once
// The plot layer: the Plotter implementations behind the plot interface of model/plots.hpp
// (plots off, a file device, or the screen with its menu) and how the program chooses one.
#include <memory>
#include <string>

#include "console/console.hpp"
#include "model/plots.hpp"
#include "plot/plot_device.hpp"

namespace kestrovan {

class Canvas;  // plot/canvas.hpp: what the plots draw on (PLplot, or a recording in tests)

struct PlotSettings {
    bool enabled = true;    // false with --no-plots
    std::string device;     // --device NAME; "" chooses the screen device automatically
    std::string directory;  // where plot files are written; "" = the current directory
    // Standard input is a terminal: the plot menus and the pauses of plots read answers. The
    // program decides it from its standard input; tests drive the menus on string streams.
    bool interactive = true;
    // The y label of plots of measurements (the regional curves, the tree-ring plots).
    std::string measurement_label = "Width (mm)";
    // The size of file plots (--plot-size, the run file's plot_size); the defaults when not given.
    PlotSize size{};
};

// Builds the plotter for the settings. Device problems (no display, an unknown device name) fall
// back to the "null" device with one message on the console; they never end the program.
std::unique_ptr<Plotter> make_plotter(const PlotSettings& settings, Console& console);

// The same drawing on a canvas of the caller's (tests record what is drawn). The device is
// chosen as above; the canvas receives it with every page.
std::unique_ptr<Plotter> make_plotter(const PlotSettings& settings, Console& console,
                                      std::unique_ptr<Canvas> canvas);

// Points PLplot at its font directory (environment variable PLPLOT_LIB, overwriting any earlier
// value). make_plotter calls it too; calling it again does no harm.
void set_plplot_lib();

}  // namespace kestrovan
