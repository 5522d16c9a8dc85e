#include "plot/plot_device.hpp"

#include <algorithm>
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
std::vector<std::string> plplot_file_devices() { return list_devices(&plgFileDevs); }

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

}  // namespace kestrovan
