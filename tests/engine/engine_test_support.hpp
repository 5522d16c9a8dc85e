#pragma once
// Shared pieces of the engine tests: a plotter that draws nothing, synthetic series with a known
// common signal, a temporary directory, and a correlation helper.
#include <cmath>
#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "model/series_table.hpp"
#include "plot/plotter.hpp"
#include "support/temp_dir.hpp"

namespace kestrovan::test {

// Draws nothing and asks nothing; counts the calls so tests can see plots were requested.
class CountingPlotter : public Plotter {
public:
    explicit CountingPlotter(bool on = false) : on_(on) {}
    bool enabled() const override { return on_; }
    void plot1(const LinePlot& p) override {
        titles.emplace_back(p.title);
        for (const YearMark& m : p.year_marks) year_marks.push_back(m.legend);
    }
    void plt1(std::span<const float>, std::span<const float>, int, int, float, std::string_view title, int,
              std::span<const int>) override {
        titles.emplace_back(title);
    }
    void plt2(const YearMatrix&, std::span<const YearSpan>, float) override { titles.emplace_back("plt2"); }
    bool plt3(const TreeRingPlot& p) override {
        titles.emplace_back(p.title);
        return true;
    }
    void plt4(const YearMatrix&, int, int k, int, float, std::span<const int>) override { plt4_curves = k; }
    void plt5(const YearMatrix&, int, int, int, float, std::span<const int>) override {}
    void plt6(const SpectrumPlot&) override {}
    void spaghetti(const SpaghettiPlot& p) override { titles.emplace_back(p.title); }
    void linguine2(const LinguinePlot& p) override { titles.emplace_back(p.title); }
    void scatplt(const YearMatrix&, const YearMatrix&, std::span<const float>, std::span<const float>,
                 std::span<const int>, float, float, float) override {}

    std::vector<std::string> titles;
    std::vector<std::string> year_marks;  // the legends of the marked years of every plot1
    int plt4_curves = 0;

private:
    bool on_;
};

using kestrovan::testing::TempDir;

// The known common signal: strong low-frequency variation around 1.
inline float common_signal(int year) {
    const double t = year;
    return static_cast<float>(1.0 + 0.35 * std::sin(2.0 * 3.141592653589793 * t / 90.0) +
                              0.12 * std::sin(2.0 * 3.141592653589793 * t / 23.0));
}

// Series = common signal × individual negative-exponential growth trend × small noise, with
// start years spread over the run (or over the first start_window years, for an even-aged stand).
inline SeriesTable synthetic_table(int series, int first_year, int span, int min_len, int max_len,
                                   unsigned seed, bool common_trend = false, int start_window = 0) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> len_dist(min_len, max_len);
    std::uniform_real_distribution<float> amp(0.8f, 2.5f), rate(0.01f, 0.04f), asym(0.3f, 0.8f);
    std::normal_distribution<float> noise(0.0f, 0.06f);
    SeriesTable t;
    t.data.resize(max_len, series);
    for (int i = 0; i < series; ++i) {
        const int len = std::min(len_dist(rng), span);
        const int room = start_window > 0 ? std::min(start_window, span - len) : span - len;
        const int start =
            first_year + static_cast<int>((static_cast<long long>(room) * i) / std::max(series - 1, 1));
        const float a = common_trend ? 1.8f : amp(rng), b = common_trend ? 0.025f : rate(rng),
                    k = common_trend ? 0.5f : asym(rng);
        for (int j = 0; j < len; ++j) {
            const float trend = a * std::exp(-b * static_cast<float>(j + 1)) + k;
            t.data(j, i) = std::max(0.01f, trend * common_signal(start + j) * (1.0f + noise(rng)));
        }
        t.years.push_back({start, start + len - 1, len});
        char id[16];
        std::snprintf(id, sizeof id, "S%07d", i + 1);
        t.ids.emplace_back(id);
    }
    t.update_summary();
    return t;
}

// Pearson correlation over the positions where use[k] is true.
inline double correlation(std::span<const float> a, std::span<const float> b, const std::vector<bool>& use) {
    double sa = 0, sb = 0, n = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (use[k]) {
            sa += a[k];
            sb += b[k];
            n += 1;
        }
    const double ma = sa / n, mb = sb / n;
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (use[k]) {
            sab += (a[k] - ma) * (b[k] - mb);
            saa += (a[k] - ma) * (a[k] - ma);
            sbb += (b[k] - mb) * (b[k] - mb);
        }
    return sab / std::sqrt(saa * sbb);
}

}  // namespace kestrovan::test
