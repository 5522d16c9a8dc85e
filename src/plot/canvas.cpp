#include "plot/canvas.hpp"

#include <algorithm>
#include <vector>

#include <plplot.h>

#include "console/format.hpp"

namespace kestrovan {

namespace {

std::string text_of(std::string_view s) { return rtrim(s); }

// Each drawing has its own PLplot stream: the first is stream 0; a drawing opened while one is
// open (a save while the plot is on the screen) gets a new stream, so that the open window is
// left as it is.
class PlplotCanvas final : public Canvas {
public:
    ~PlplotCanvas() override {
        while (!streams_.empty()) close();
    }

    void open(const CanvasPage& page) override {
        PLINT stream = 0;
        if (streams_.empty())
            plsstrm(0);
        else
            plmkstrm(&stream);
        streams_.push_back(stream);
        plsdev(page.device.c_str());
        if (!page.file.empty()) plsfnam(page.file.c_str());
        plscol0(0, 255, 255, 255);
        plscol0(15, 0, 0, 0);
        plscol0(7, 150, 150, 150);  // a grey dark enough for its legend to be read on white
        plscolbg(255, 255, 255);
        // PLplot's own wait for a key at the end of a page is used only where the window itself
        // must take the key; otherwise the console decides when the drawing ends.
        plspause(page.wait_at_end ? 1 : 0);
        columns_ = std::max(page.columns, 1);
        plssub(columns_, std::max(page.rows, 1));
        plinit();
        plfont(1);
    }

    void close() override {
        if (streams_.empty()) return;
        streams_.pop_back();
        if (streams_.empty()) {
            plend();
        } else {
            plend1();
            plsstrm(streams_.back());
        }
    }

    void show() override { plflush(); }

    void colour(int index) override { plcol0(index); }
    void pen(double width) override { plwidth(width); }
    void dashed(bool on) override { pllsty(on ? 3 : 1); }

    void box(AxisRange x, AxisRange y, BoxStyle style, bool right_axis) override {
        x = drawable(x);
        y = drawable(y);
        x_ = x;
        const int axis = style == BoxStyle::Plain ? 0 : style == BoxStyle::Grid ? 2 : 20;
        if (!right_axis) {
            plenv(x.min, x.max, y.min, y.max, 0, axis);
            return;
        }
        // The standard viewport, with room on the right for the second axis' numbers and label.
        pladv(0);
        PLFLT def = 0, height = 0;
        plgchr(&def, &height);
        PLFLT x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        plgspa(&x0, &x1, &y0, &y1);
        plsvpa(8.0 * height, (x1 - x0) - 9.0 * height, 5.0 * height, (y1 - y0) - 5.0 * height);
        plwind(x.min, x.max, y.min, y.max);
        const char* xopt = style == BoxStyle::Grid ? "bcnstg" : "bcnst";
        const char* yopt = style == BoxStyle::Grid ? "bnstvg" : style == BoxStyle::LogY ? "bnstvl" : "bnstv";
        plbox(xopt, 0.0, 0, yopt, 0.0, 0);
    }

    void right_axis(AxisRange y, std::string_view label) override {
        y = drawable(y);
        plwind(x_.min, x_.max, y.min, y.max);
        plbox("", 0.0, 0, "cmstv", 0.0, 0);
        plmtex("r", 4.5, 0.5, 0.5, text_of(label).c_str());
    }

    void labels(std::string_view x, std::string_view y, std::string_view top) override {
        pllab(text_of(x).c_str(), text_of(y).c_str(), "");
        plmtex("t", 2.2, 0.5, 0.5, text_of(top).c_str());
    }

    void line(std::span<const double> x, std::span<const double> y) override {
        const PLINT n = static_cast<PLINT>(std::min(x.size(), y.size()));
        if (n > 1)
            plline(n, x.data(), y.data());
        else if (n == 1)
            plpoin(1, x.data(), y.data(), 1);
    }

    void points(std::span<const double> x, std::span<const double> y) override {
        const PLINT n = static_cast<PLINT>(std::min(x.size(), y.size()));
        if (n > 0) plpoin(n, x.data(), y.data(), 1);
    }

    void text(TextPlace place, std::string_view text) override {
        plmtex(place.side, place.disp, place.pos, place.just, text_of(text).c_str());
    }

    double text_fraction(std::string_view text) override {
        // PLplot 5.15 has no text-length query: a character of its sans-serif font is taken as
        // 0.9 of the character height (a little more than its width in legends measured on
        // pngcairo, so that entries never overlap). The box width in millimetres is its share of the
        // page (normalized device coordinates) times the page width (columns x subpage width).
        PLFLT x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        plgvpd(&x0, &x1, &y0, &y1);
        PLFLT s0 = 0, s1 = 0, t0 = 0, t1 = 0;
        plgspa(&s0, &s1, &t0, &t1);
        PLFLT def = 0, height = 0;
        plgchr(&def, &height);
        const double box_mm = (x1 - x0) * columns_ * (s1 - s0);
        if (!(box_mm > 0.0)) return 0.0;
        return 0.9 * height * static_cast<double>(text_of(text).size()) / box_mm;
    }

    void text_size(double scale) override { plschr(0.0, scale); }

private:
    int columns_ = 1;
    std::vector<PLINT> streams_;
    AxisRange x_{0.0f, 1.0f};
};

}  // namespace

std::unique_ptr<Canvas> make_plplot_canvas() { return std::make_unique<PlplotCanvas>(); }

}  // namespace kestrovan
