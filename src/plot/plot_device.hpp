#pragma once
// Choosing the PLplot device. PLplot ends the process when a device cannot open (no display) and
// asks on standard input for a device when it does not know the name, so every choice is checked
// here before any plinit.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrovan {

enum class DeviceKind {
    Screen,  // an interactive device, or "null": drawings are followed by the plot menu
    File,    // a file device: each drawing goes to its own file, no menu
};

struct DeviceChoice {
    std::string name;  // PLplot device name
    DeviceKind kind = DeviceKind::Screen;
    std::string extension;  // file devices: the file name extension (".png", ...)
    std::string message;    // why the request could not be met ("" when it was)
};

// Device names PLplot knows, and those of them that write files (PLplot's list, and its "svg").
std::vector<std::string> plplot_devices();
std::vector<std::string> plplot_file_devices();
// True for a name of plplot_file_devices().
bool is_file_device(std::string_view name);

// True when an X display is named by DISPLAY and actually opens.
bool display_opens();

// The device for a request: "" picks an interactive device when a display opens, else "null".
// An unknown name, or an interactive device without a display, falls back to "null" with a
// message. display_ok tells whether a display opens (passed in so that tests can choose).
DeviceChoice choose_device(std::string_view requested, bool display_ok);

// The extension of the files a file device writes (".png" for pngcairo).
std::string device_extension(std::string_view device);

// The size of file plots: width x height in pixels, with the resolution that turns them into
// inches for vector devices. width 0 stands for the defaults (raster pictures 2400 x 1800 pixels,
// vector drawings PLplot's 10 x 7.5 inches).
struct PlotSize {
    int width = 0, height = 0;
    int dpi = 300;
    bool operator==(const PlotSize&) const = default;
};

// "2400x1800" (pixels) or "8x6in@300" (inches at a resolution in dots per inch; "dpi" may follow
// the number). nullopt for anything else, or sizes outside 100 .. 20000 pixels and 50 .. 2400 dpi.
std::optional<PlotSize> parse_plot_size(std::string_view text);
// The text parse_plot_size reads back ("2400x1800", or "" for the defaults).
std::string plot_size_text(const PlotSize& size);
inline constexpr const char* kPlotSizeForms = "WIDTHxHEIGHT in pixels (\"2400x1800\") or inches at a resolution (\"8x6in@300\")";

// The page of one drawing on a device: its size in device units (0 x 0 keeps the device's own)
// and the factor for line widths. Raster devices (pngcairo) take the pixels, vector devices
// (svg, svgcairo, pdfcairo) the size in points (1/72 inch); other devices keep their own page.
// Drawings of more than two rows or columns of panels get a taller or wider page, half a page
// per panel row or column, so that every panel keeps its room.
struct PageSize {
    int width = 0, height = 0;
    double line_scale = 1.0;
};
PageSize page_size(std::string_view device, const PlotSize& size, int columns, int rows);

}  // namespace kestrovan
