#include "plot/plot_device.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include <plplot.h>

#ifdef KESTROVAN_HAVE_X11
#include <X11/Xlib.h>
#endif

namespace kestrovan {

namespace {

using DeviceLister = void (*)(PLCHAR_VECTOR**, PLCHAR_VECTOR**, int*);

std::vector<std::string> list_devices(DeviceLister lister) {
    // PLplot fills caller-owned arrays of pointers to its own static strings; ndev is the room
    // on the way in and the count on the way out.
    std::vector<PLCHAR_VECTOR> menus(256), names(256);
    int n = static_cast<int>(names.size());
    PLCHAR_VECTOR* m = menus.data();
    PLCHAR_VECTOR* d = names.data();
    lister(&m, &d, &n);
    std::vector<std::string> out;
    for (int i = 0; i < n && i < static_cast<int>(names.size()); ++i)
        if (names[i]) out.emplace_back(names[i]);
    return out;
}

bool contains(const std::vector<std::string>& list, std::string_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

}  // namespace

std::vector<std::string> plplot_devices() { return list_devices(&plgDevs); }
std::vector<std::string> plplot_file_devices() {
    // PLplot's own SVG device writes a file but is not in PLplot's list of file devices.
    std::vector<std::string> out = list_devices(&plgFileDevs);
    if (contains(plplot_devices(), "svg") && !contains(out, "svg")) out.emplace_back("svg");
    return out;
}

bool display_opens() {
#ifdef KESTROVAN_HAVE_X11
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
#else
    return false;
#endif
}

std::string device_extension(std::string_view device) {
    static constexpr std::pair<std::string_view, std::string_view> known[] = {
        {"pngcairo", ".png"}, {"svgcairo", ".svg"}, {"pdfcairo", ".pdf"}, {"epscairo", ".eps"},
        {"pscairo", ".ps"},   {"psc", ".ps"},       {"ps", ".ps"},        {"psttf", ".ps"},
        {"psttfc", ".ps"},    {"svg", ".svg"},      {"png", ".png"},      {"jpeg", ".jpg"},
        {"gif", ".gif"},      {"pdf", ".pdf"},      {"xfig", ".fig"},     {"pstex", ".ps"},
        {"mem", ".mem"},      {"plmeta", ".plm"},   {"tk", ".tk"},
    };
    for (const auto& [name, ext] : known)
        if (name == device) return std::string(ext);
    return "." + std::string(device);
}

DeviceChoice choose_device(std::string_view requested, bool display_ok) {
    const auto devices = plplot_devices();
    const auto file_devices = plplot_file_devices();
    DeviceChoice choice;
    choice.name = "null";
    if (requested.empty()) {
        if (display_ok) {
            for (std::string_view screen : {"xcairo", "xwin", "qtwidget", "wxwidgets"}) {
                if (contains(devices, screen)) {
                    choice.name = std::string(screen);
                    break;
                }
            }
        }
        return choice;
    }
    if (requested == "null") return choice;
    if (!contains(devices, requested)) {
        choice.message = "Plot device \"" + std::string(requested) +
                         "\" is not known to PLplot; plots go to the null device.";
        return choice;
    }
    if (contains(file_devices, requested)) {
        choice.name = std::string(requested);
        choice.kind = DeviceKind::File;
        choice.extension = device_extension(requested);
        return choice;
    }
    if (!display_ok) {
        choice.message = "Plot device \"" + std::string(requested) +
                         "\" cannot open without a display; plots go to the null device.";
        return choice;
    }
    choice.name = std::string(requested);
    return choice;
}

bool is_file_device(std::string_view name) { return contains(plplot_file_devices(), name); }

namespace {

// A positive number at the start of `text` (digits with an optional fraction); the rest is left.
std::optional<double> take_number(std::string_view& text) {
    std::size_t n = 0;
    while (n < text.size() && ((text[n] >= '0' && text[n] <= '9') || text[n] == '.')) ++n;
    if (n == 0) return std::nullopt;
    double v = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + n, v);
    if (r.ec != std::errc() || r.ptr != text.data() + n || !(v > 0.0)) return std::nullopt;
    text.remove_prefix(n);
    return v;
}

bool take(std::string_view& text, std::string_view word) {
    if (text.substr(0, word.size()) != word) return false;
    text.remove_prefix(word.size());
    return true;
}

bool raster_device(std::string_view d) {
    return d == "pngcairo" || d == "png" || d == "jpeg" || d == "gif" || d == "tiff" || d == "bmp";
}
bool vector_device(std::string_view d) {
    return d == "svg" || d == "svgcairo" || d == "pdfcairo" || d == "epscairo" || d == "pscairo";
}

}  // namespace

std::optional<PlotSize> parse_plot_size(std::string_view text) {
    PlotSize size;
    const auto w = take_number(text);
    if (!w || !take(text, "x")) return std::nullopt;
    const auto h = take_number(text);
    if (!h) return std::nullopt;
    double width = *w, height = *h;
    if (take(text, "in")) {
        if (!take(text, "@")) return std::nullopt;
        const auto dpi = take_number(text);
        if (!dpi || *dpi != std::floor(*dpi) || *dpi < 50 || *dpi > 2400) return std::nullopt;
        take(text, "dpi");
        size.dpi = static_cast<int>(*dpi);
        width *= size.dpi;
        height *= size.dpi;
    } else if (width != std::floor(width) || height != std::floor(height)) {
        return std::nullopt;  // pixels are whole
    }
    if (!text.empty() || width < 100 || height < 100 || width > 20000 || height > 20000) return std::nullopt;
    size.width = static_cast<int>(std::lround(width));
    size.height = static_cast<int>(std::lround(height));
    return size;
}

std::string plot_size_text(const PlotSize& size) {
    if (size.width <= 0) return {};
    if (size.dpi == 300) return std::to_string(size.width) + "x" + std::to_string(size.height);
    // Another resolution only arrives with inches: written back as inches.
    auto inches = [&](int px) {
        std::string t = std::to_string(static_cast<double>(px) / size.dpi);
        t.erase(t.find_last_not_of('0') + 1);
        if (t.back() == '.') t.pop_back();
        return t;
    };
    return inches(size.width) + "x" + inches(size.height) + "in@" + std::to_string(size.dpi);
}

PageSize page_size(std::string_view device, const PlotSize& size, int columns, int rows) {
    PageSize page;
    if (raster_device(device)) {
        page.width = size.width > 0 ? size.width : 2400;
        page.height = size.width > 0 ? size.height : 1800;
    } else if (vector_device(device)) {
        page.width = size.width > 0 ? static_cast<int>(std::lround(72.0 * size.width / size.dpi)) : 720;
        page.height = size.width > 0 ? static_cast<int>(std::lround(72.0 * size.height / size.dpi)) : 540;
    } else {
        return page;
    }
    // The line widths of PLplot's own 720-unit-wide page, grown with the width.
    page.line_scale = page.width / 720.0;
    if (columns > 2) page.width = static_cast<int>(std::lround(page.width * columns / 2.0));
    if (rows > 2) page.height = static_cast<int>(std::lround(page.height * rows / 2.0));
    return page;
}

}  // namespace kestrovan
