// The writer of Tucson decade files (trrw in modes "mw" and "iw", declared in io/tucson.hpp).
// It warns on the console about what it had to change and stops the run when its file cannot be
// written; the reader (io/tucson.cpp) does neither.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "io/decade_layout.hpp"
#include "io/text_fields.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"

namespace kestrovan {

namespace {

using detail::DecadeLayout;
using detail::first_chronology_slot;
using detail::first_line_values;
using detail::head_widths;
using detail::HeadWidths;
using detail::kChronologyLines;
using detail::kRingLines;

// round(x × 1000) with x × 1000 formed in single precision and halves rounded away from zero.
double thousandths(float x) {
    float p = x * 1000.0f;
    return std::round(static_cast<double>(p));
}

[[noreturn]] void write_failed(const TucsonWriteState& state) {
    throw ProgramStop(StopKind::Abnormal,
                      "Cannot write to the output file" +
                          (state.file_name.empty() ? std::string() : " " + state.file_name));
}

// A value for a fixed field: NaN written as 0, everything outside [lo, hi] clamped; true when
// the value had to be changed.
long long clamp_field(double v, long long lo, long long hi, bool& changed) {
    if (std::isnan(v)) {
        changed = true;
        return 0;
    }
    if (v < static_cast<double>(lo)) {
        changed = true;
        return lo;
    }
    if (v > static_cast<double>(hi)) {
        changed = true;
        return hi;
    }
    return static_cast<long long>(v);
}

// Writes the decade lines of one series: what every line of it shares (file, identifier, label)
// and the warnings given once per file.
class DecadeWriter {
public:
    DecadeWriter(std::ostream& file, std::string_view id, std::string_view label, TucsonWriteState& state,
                 Console& console)
        : file_(file), id_(id), label_(label), state_(state), console_(console) {}

    void ring_widths(int first_year, std::span<const float> values) {
        const std::size_t count = values.size();
        int y = first_year;
        int n = first_line_values(y);
        std::size_t j = 0;
        for (;;) {
            std::string line = head(y, kRingLines);
            int slots = 0;
            bool finished = false;
            for (int i = 0; i < n; ++i) {
                ++j;
                ++slots;
                if (j > count) {
                    line += fmt_i(-9999, 6);
                    finished = true;
                    break;
                }
                bool changed = false;
                long long v = clamp_field(thousandths(values[j - 1]), -99999, 999999, changed);
                if (v == 999) v = 1000;  // 0.999 mm is not the end marker
                if (v == -9999) {        // nor is -9.999 mm
                    v = -9998;
                    changed = true;
                }
                if (changed) warn_clamp(y + i);
                line += fmt_i(v, kRingLines.value_width);
            }
            if (slots == 10) line += "  " + fixed_width(label_, 6);
            put(line);
            if (finished) return;
            y += slots;
            n = 10;
        }
    }

    void chronology(int first_year, std::span<const float> values, std::span<const int> samples) {
        const std::size_t count = values.size();
        const bool use_samples = !samples.empty() && samples[0] > 0;
        int y = first_year;
        int s = first_chronology_slot(y);
        std::size_t j = 0;
        for (;;) {
            long long index[10], n[10];
            std::fill(std::begin(index), std::end(index), 9990);
            std::fill(std::begin(n), std::end(n), 0);
            bool finished = false;
            const int decade = y - s + 1;
            for (int slot = s; slot <= 10; ++slot) {
                ++j;
                if (j > count) {
                    finished = true;
                    break;
                }
                bool changed = false;
                // 9990 and above mean "no data": the widest data value is 9989.
                index[slot - 1] = clamp_field(thousandths(values[j - 1]), -999, 9989, changed);
                long long c = use_samples && j - 1 < samples.size() ? samples[j - 1] : 1;
                n[slot - 1] = clamp_field(static_cast<double>(c), -99, 999, changed);
                if (changed) warn_clamp(decade + slot - 1);
            }
            std::string line = head(y, kChronologyLines);
            for (int k = 0; k < 10; ++k)
                line += fmt_i(index[k], kChronologyLines.value_width) +
                        fmt_i(n[k], kChronologyLines.count_width());
            line += "  " + fixed_width(label_, 6);
            put(line);
            if (finished) return;
            y = y - s + 11;
            s = 1;
        }
    }

private:
    // The identifier and year fields of a line; "-" in the columns that switch the layout on
    // reading becomes "_" (warned once per file).
    std::string head(int y, const DecadeLayout& layout) {
        const HeadWidths w = head_widths(y, layout);
        const int year_limit = w.year == 4 ? 9999 : -99999;
        if ((w.year == 4 && y > year_limit) || (w.year == 6 && y < year_limit)) {
            const std::string file = state_.file_name.empty() ? "the output file" : state_.file_name;
            throw ProgramStop(StopKind::Abnormal, "Cannot write series " + rtrim(id_) + " to " + file +
                                                      ": year " + std::to_string(y) +
                                                      " does not fit the year field");
        }
        std::string text = fixed_width(id_, static_cast<std::size_t>(w.id));
        if (w.id == layout.id_width) mend_switch_columns(text, layout.id_width);
        return text + fmt_i(y, w.year);
    }

    // Columns normal-1 and normal of an identifier in the normal layout decide the layout when
    // they hold "-".
    void mend_switch_columns(std::string& text, int normal) {
        bool changed = false;
        for (int c = normal - 2; c < normal; ++c) {
            if (text[static_cast<std::size_t>(c)] == '-') {
                text[static_cast<std::size_t>(c)] = '_';
                changed = true;
            }
        }
        if (!changed || state_.warned_id) return;
        state_.warned_id = true;
        console_.blank_line();
        console_.line("WARNING: identifier \"" + rtrim(id_) + "\" is written as \"" + rtrim(text) + "\"" +
                          (state_.file_name.empty() ? std::string() : " in " + state_.file_name),
                      2);
        console_.line("         (a \"-\" in its columns " + std::to_string(normal - 1) + "-" +
                          std::to_string(normal) + " would be read as part of the year)",
                      2);
    }

    void warn_clamp(int year) {
        if (state_.warned_clamp) return;
        state_.warned_clamp = true;
        console_.blank_line();
        console_.line(
            "WARNING: a value too wide for its field was written as the widest value the field holds" +
                (state_.file_name.empty() ? std::string() : " in " + state_.file_name),
            2);
        console_.line("         (first at series " + rtrim(id_) + ", year " + std::to_string(year) + ")", 2);
    }

    void put(const std::string& line) {
        file_ << line << '\n';
        if (!file_) write_failed(state_);
    }

    std::ostream& file_;
    std::string_view id_;
    std::string_view label_;
    TucsonWriteState& state_;
    Console& console_;
};

}  // namespace

void trrw(std::ostream& file, std::string_view mode, const TucsonOutSeries& series, TucsonWriteState& state,
          Console& console) {
    if (mode == "mw") {
        if (series.values.empty()) return;
        DecadeWriter(file, series.id, series.label, state, console)
            .ring_widths(series.first_year, series.values);
    } else if (mode == "iw") {
        if (series.values.empty()) return;
        DecadeWriter(file, series.id, series.label, state, console)
            .chronology(series.first_year, series.values, series.samples);
    } else {
        throw std::invalid_argument("trrw: unknown write mode");
    }
}

}  // namespace kestrovan
