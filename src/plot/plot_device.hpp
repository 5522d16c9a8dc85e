#pragma once
// Choosing the PLplot device. PLplot ends the process when a device cannot open (no display) and
// asks on standard input for a device when it does not know the name, so every choice is checked
// here before any plinit.
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

// Device names PLplot knows, and those of them that write files.
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

}  // namespace kestrovan
