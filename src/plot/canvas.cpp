#include "plot/canvas.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include <plplot.h>

#include "model/format.hpp"

namespace kestrovan {

namespace {

// A text for PLplot: trailing blanks dropped, and a "#" that starts none of PLplot's text
// escapes (superscript #u, subscript #d, fonts #f, Greek #g, ...) doubled, so that every device
// writes it as it stands (the svg device drops a lone "#" and the character after it).
std::string text_of(std::string_view s) {
    const std::string t = rtrim(s);
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        out += t[i];
        if (t[i] != '#') continue;
        const char next = i + 1 < t.size() ? t[i + 1] : ' ';
        if (next == '#')
            out += t[++i];
        else if (std::string_view("udbfg+-([<>").find(next) == std::string_view::npos)
            out += '#';
    }
    return out;
}

constexpr PLINT kGridColour = 11;  // redefined as a light grey: grid lines only
constexpr PLINT kDashes = 3;       // PLplot's line style of long dashes

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
        streams_.push_back({stream, page.line_scale > 0.0 ? page.line_scale : 1.0});
        plsdev(page.device.c_str());
        if (!page.file.empty()) plsfnam(page.file.c_str());
        if (page.width > 0 && page.height > 0) plspage(0.0, 0.0, page.width, page.height, 0, 0);
        plscol0(0, 255, 255, 255);
        plscol0(15, 0, 0, 0);
        plscol0(7, 150, 150, 150);  // a grey dark enough for its legend to be read on white
        plscol0(kGridColour, 222, 222, 222);
        plscol0(3, 0, 150, 0);  // a green that reads on white, in lines and in print
        plscolbg(255, 255, 255);
        // PLplot's own wait for a key at the end of a page is used only where the window itself
        // must take the key; otherwise the console decides when the drawing ends.
        plspause(page.wait_at_end ? 1 : 0);
        plssub(std::max(page.columns, 1), std::max(page.rows, 1));
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
            plsstrm(streams_.back().id);
        }
    }

    void show() override { plflush(); }

    void colour(int index) override {
        colour_ = index;
        plcol0(index);
    }
    void pen(double width) override { plwidth(width * scale()); }
    void dashed(bool on) override { pllsty(on ? kDashes : 1); }

    LegendPlace box(AxisRange x, AxisRange y, const BoxOptions& o) override {
        x = drawable(x);
        y = drawable(y);
        x_ = x;
        y_ = y;
        top_axis_title_ = o.top_axis;
        if (!o.same_subpage) pladv(0);
        PLFLT def = 0, ht = 0;
        plgchr(&def, &ht);
        PLFLT s0 = 0, s1 = 0, t0 = 0, t1 = 0;
        plgspa(&s0, &s1, &t0, &t1);
        const double w = s1 - s0, h = t1 - t0;
        // Margins in character heights: numbers and label on the left and below, the title (and
        // a second axis) above, a second axis or a little air on the right.
        const double left = 8.0 * ht, right = (o.right_axis ? 8.5 : 3.0) * ht;
        const double below = (o.x_numbers ? 4.6 : 1.2) * ht;
        const double above = (o.top_axis ? 6.6 : o.same_subpage ? 1.0 : 3.6) * ht;
        const double box_w = std::max(w - right - left, ht);
        double lo = h * o.bottom + below;
        const double hi = h * o.top - above;
        LegendPlace place = LegendPlace::TopRight;
        if (!o.legend.empty()) {
            // The legend's size: its text at 0.85 of the character height, some 0.72 of a height
            // wide per character; the sample 7 % of the box; rows 1.9 text heights apart.
            std::size_t longest = 0;
            for (const auto& e : o.legend) longest = std::max(longest, text_of(e.text).size());
            const double n = static_cast<double>(o.legend.size());
            const double lw = 0.07 + (2.5 + 0.85 * 0.72 * static_cast<double>(longest)) * ht / box_w;
            const double lh = (1.2 + 0.85 * 1.9 * n) * ht / std::max(hi - lo, ht);
            place = legend_place(o.paths, lw, lh);
            if (place == LegendPlace::Below) lo += (1.2 + 1.75 * std::ceil(n / below_legend_columns())) * ht;
        }
        plsvpa(left, left + box_w, lo, std::max(hi, lo + ht));
        plwind(x.min, x.max, y.min, y.max);
        box_height_mm_ = std::max(hi - lo, ht);
        if (o.style == BoxStyle::Grid) {
            plcol0(kGridColour);
            plwidth(0.8 * scale());
            plbox("g", 0.0, 0, "g", 0.0, 0);
            plwidth(scale());
            plcol0(colour_);
        }
        std::string xopt = o.top_axis ? "bst" : "bcst";
        if (o.x_numbers) xopt += 'n';
        std::string yopt = o.right_axis ? "bnstv" : "bcnstv";
        if (!o.y_numbers) yopt = o.right_axis ? "b" : "bc";
        if (o.style == BoxStyle::LogY) yopt += 'l';
        plbox(xopt.c_str(), 0.0, 0, yopt.c_str(), 0.0, 0);
        if (o.top_axis) plbox("c", 0.0, 0, "", 0.0, 0);
        return place;
    }

    void right_axis(AxisRange y, std::string_view label) override {
        y = drawable(y);
        plwind(x_.min, x_.max, y.min, y.max);
        plbox("", 0.0, 0, "cmstv", 0.0, 0);
        plmtex("r", 4.6, 0.5, 0.5, text_of(label).c_str());
    }

    void top_axis(std::span<const double> at, std::span<const std::string> labels,
                  std::string_view label) override {
        const double tick = 0.02 * (y_.max - y_.min);
        for (std::size_t i = 0; i < at.size() && i < labels.size(); ++i) {
            if (at[i] < x_.min || at[i] > x_.max) continue;
            const PLFLT xs[2] = {at[i], at[i]}, ys[2] = {y_.max, y_.max - tick};
            plline(2, xs, ys);
            plmtex("t", 0.9, (at[i] - x_.min) / (x_.max - x_.min), 0.5, labels[i].c_str());
        }
        plmtex("t", 2.6, 0.5, 0.5, text_of(label).c_str());
    }

    void labels(std::string_view x, std::string_view y, std::string_view top) override {
        pllab(text_of(x).c_str(), text_of(y).c_str(), "");
        plmtex("t", top_title_disp_(), 0.5, 0.5, text_of(top).c_str());
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

    void fill(std::span<const double> x, std::span<const double> y) override {
        const PLINT n = static_cast<PLINT>(std::min(x.size(), y.size()));
        if (n >= 3) plfill(n, x.data(), y.data());
    }

    void text(TextPlace place, std::string_view text) override {
        plmtex(place.side, place.disp, place.pos, place.just, text_of(text).c_str());
    }

    void legend(std::span<const LegendEntry> entries, LegendPlace place) override {
        if (entries.empty()) return;
        const PLINT n = static_cast<PLINT>(entries.size());
        std::vector<PLINT> opts, text_colours, colours, styles, patterns;
        std::vector<PLFLT> widths, box_scales, box_widths;
        std::vector<std::string> texts;
        for (const LegendEntry& e : entries) {
            opts.push_back(e.filled ? PL_LEGEND_COLOR_BOX : PL_LEGEND_LINE);
            text_colours.push_back(15);
            colours.push_back(e.colour);
            styles.push_back(e.dashed ? kDashes : 1);
            patterns.push_back(0);
            widths.push_back(e.width * scale());
            box_scales.push_back(0.6);
            box_widths.push_back(scale());
            texts.push_back(text_of(e.text));
        }
        std::vector<const char*> text_ptrs;
        for (const auto& t : texts) text_ptrs.push_back(t.c_str());
        PLINT position = PL_POSITION_VIEWPORT;
        PLINT columns = 1, rows = n;
        PLFLT dx = 0.015, dy = 0.02;
        switch (place) {
            case LegendPlace::TopRight:
                position |= PL_POSITION_INSIDE | PL_POSITION_TOP | PL_POSITION_RIGHT;
                break;
            case LegendPlace::TopLeft:
                position |= PL_POSITION_INSIDE | PL_POSITION_TOP | PL_POSITION_LEFT;
                break;
            case LegendPlace::BottomRight:
                position |= PL_POSITION_INSIDE | PL_POSITION_BOTTOM | PL_POSITION_RIGHT;
                break;
            case LegendPlace::BottomLeft:
                position |= PL_POSITION_INSIDE | PL_POSITION_BOTTOM | PL_POSITION_LEFT;
                break;
            case LegendPlace::Below: {
                position |= PL_POSITION_OUTSIDE | PL_POSITION_BOTTOM;
                columns = std::min<PLINT>(n, static_cast<PLINT>(below_legend_columns()));
                rows = (n + columns - 1) / columns;
                PLFLT def = 0, ht = 0;
                plgchr(&def, &ht);
                dx = 0.0;
                dy = 4.3 * ht / box_height_mm_;  // below the numbers and the label of the x axis
                break;
            }
        }
        PLFLT width = 0, height = 0;
        pllsty(1);
        pllegend(&width, &height, PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX | PL_LEGEND_ROW_MAJOR,
                 position, dx, dy, 0.07, 0, 15, 1, rows, columns, n, opts.data(), 0.8, 0.85, 1.9, 0.0,
                 text_colours.data(), text_ptrs.data(), colours.data(), patterns.data(), box_scales.data(),
                 box_widths.data(), colours.data(), styles.data(), widths.data(), nullptr, nullptr, nullptr,
                 nullptr);
        plcol0(colour_);
    }

    // The columns of a legend below the box: two, but one on the svg device, which writes its
    // texts as text elements that the viewer sets narrower than PLplot measures them; PLplot's
    // box around two columns would then run off both edges of the page.
    static double below_legend_columns() {
        char device[80] = {};
        plgdev(device);
        return std::string_view(device) == "svg" ? 1.0 : 2.0;
    }

private:
    struct Stream {
        PLINT id;
        double scale;
    };
    double scale() const { return streams_.empty() ? 1.0 : streams_.back().scale; }
    double top_title_disp_() const { return top_axis_title_ ? 4.8 : 1.6; }

    std::vector<Stream> streams_;
    AxisRange x_{0.0f, 1.0f}, y_{0.0f, 1.0f};
    double box_height_mm_ = 100.0;
    int colour_ = 15;
    bool top_axis_title_ = false;
};

}  // namespace

std::unique_ptr<Canvas> make_plplot_canvas() { return std::make_unique<PlplotCanvas>(); }

}  // namespace kestrovan
