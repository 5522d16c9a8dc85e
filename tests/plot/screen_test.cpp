// A plot on a real screen: an Xvfb server of the test's own, PLplot's interactive device, and the
// plot menu answered on the console. The window must be open while the menu waits for the answer
// and closed after it. Skipped where no X server can start.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include "plot/plot_device.hpp"
#include "plot/plotter.hpp"

#if __has_include(<X11/Xlib.h>)
#include <X11/Xlib.h>
#define KV_TEST_HAVE_X11 1
#endif

namespace kestrovan {
namespace {

#ifdef KV_TEST_HAVE_X11

// An Xvfb server on a free display, ended (and reaped) when the object goes; it also dies with
// the test process if that ends early.
class Xvfb {
public:
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(1);
            close(fds[0]);
            const int null = open("/dev/null", O_RDWR);
            for (int fd : {0, 1, 2}) dup2(null, fd);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid_ < 0) {
            close(fds[0]);
            return;
        }
        // Xvfb writes its display number when it is ready to take clients.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < until && poll(&p, 1, 250) >= 0) {
            if (!(p.revents & (POLLIN | POLLHUP))) continue;
            char c = 0;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~Xvfb() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// The mapped top-level windows on a display, waited for (up to two seconds) until `wanted` says
// the count is the one expected.
int viewable_windows(Display* d, const std::function<bool(int)>& wanted) {
    int count = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        XSync(d, False);
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        count = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
            for (unsigned int i = 0; i < n; ++i) {
                XWindowAttributes a;
                if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable) ++count;
            }
            if (children) XFree(children);
        }
        if (wanted(count)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return count;
}

// Console input that gives its one answer ("c") only after looking at the screen.
class AnswerAfterLooking : public std::streambuf {
public:
    explicit AnswerAfterLooking(std::function<void()> look) : look_(std::move(look)) {}

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (answered_) return traits_type::eof();
        look_();
        answered_ = true;
        setg(answer_, answer_, answer_ + 2);
        return traits_type::to_int_type(*gptr());
    }

private:
    std::function<void()> look_;
    bool answered_ = false;
    char answer_[2] = {'c', '\n'};
};

TEST(ScreenPlot, TheWindowStaysOpenWhileTheMenuIsAnswered) {
    alarm(120);  // a screen that never answers must not hold the test run
    Xvfb server;
    if (server.display().empty()) GTEST_SKIP() << "no X server could be started (Xvfb)";
    const char* before = std::getenv("DISPLAY");
    const std::string previous = before ? before : "";
    setenv("DISPLAY", server.display().c_str(), 1);
    struct Restore {
        std::string value;
        ~Restore() {
            if (value.empty())
                unsetenv("DISPLAY");
            else
                setenv("DISPLAY", value.c_str(), 1);
            alarm(0);
        }
    } restore{previous};
    Display* d = XOpenDisplay(server.display().c_str());
    ASSERT_NE(d, nullptr);
    struct Close {
        Display* d;
        ~Close() { XCloseDisplay(d); }
    } close_display{d};
    const DeviceChoice device = choose_device("", display_opens());
    if (device.name == "null") GTEST_SKIP() << "PLplot has no interactive device here";

    int at_menu = -1;
    AnswerAfterLooking answers([&] { at_menu = viewable_windows(d, [](int n) { return n > 0; }); });
    std::istream in(&answers);
    std::ostringstream out;
    Console console(in, out);
    PlotSettings settings;
    settings.directory = ::testing::TempDir();
    auto plotter = make_plotter(settings, console);
    EXPECT_EQ(viewable_windows(d, [](int n) { return n == 0; }), 0);
    std::vector<float> a, b;
    for (int t = 0; t < 50; ++t) {
        a.push_back(1.0f + 0.01f * static_cast<float>(t % 7));
        b.push_back(1.0f - 0.01f * static_cast<float>(t % 5));
    }
    plotter->plot1({.y1 = a,
                    .y2 = b,
                    .first_year = 1900,
                    .x_label = "Year",
                    .y_label = "Index",
                    .title = "On the screen",
                    .legend1 = "First",
                    .legend2 = "Second"});
    EXPECT_NE(out.str().find("plot options menu"), std::string::npos) << out.str();
    EXPECT_GE(at_menu, 1) << "the plot window was not open while the menu waited (" << device.name << ")";
    EXPECT_EQ(viewable_windows(d, [](int n) { return n == 0; }), 0) << "the window stayed after the answer";
}

#else

TEST(ScreenPlot, TheWindowStaysOpenWhileTheMenuIsAnswered) { GTEST_SKIP() << "built without X11"; }

#endif

}  // namespace
}  // namespace kestrovan
