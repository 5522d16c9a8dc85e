#pragma once
// Synthetic forests with a known common signal, the oracle of the engine's chronologies.
//
// A forest is 30 to 60 trees over 500 to 600 years. Each tree starts in a random year and grows
// 120 to 450 rings; its width is an age trend × the common signal of the year × its own
// lognormal AR(1) noise. The signal has a century wave, a multi-decade wave and a decadal wave
// plus a little red noise. The age trend is either each tree's own negative exponential or one
// shared curve (as Regional Curve Standardization assumes, with each tree's pith offset known).
// A forest may also have about 1 % zero rings (locally absent rings). Everything follows from
// the seed.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "model/series_table.hpp"
#include "support/synthetic.hpp"

namespace kestrovan::forest {

struct Options {
    std::uint64_t seed = 1;
    bool shared_curve = false;  // one age trend for every tree (Regional Curve Standardization)
    bool zero_rings = false;    // about 1 % of the rings are 0
};

struct Forest {
    SeriesTable table;
    std::vector<int> pith_offsets;  // rings between the pith and each tree's first ring
    std::vector<float> signal;      // the common signal by calendar year from first_year
    int first_year = 0;
};

inline Forest make(const Options& o) {
    synthetic::Random rng(o.seed * 7919 + 17);
    Forest f;
    const int trees = rng.integer(30, 60);
    const int span = rng.integer(500, 600);
    f.first_year = 1300 + rng.integer(0, 100);

    constexpr double two_pi = 6.283185307179586;
    const double p1 = rng.uniform(0, two_pi), p2 = rng.uniform(0, two_pi), p3 = rng.uniform(0, two_pi);
    const double century = rng.uniform(90, 140), decades = rng.uniform(30, 55), decade = rng.uniform(9, 13);
    f.signal.resize(static_cast<std::size_t>(span));
    double red = 0.0;
    for (int t = 0; t < span; ++t) {
        red = 0.5 * red + 0.05 * rng.normal();
        const double s = 0.20 * std::sin(two_pi * t / century + p1) + 0.12 * std::sin(two_pi * t / decades + p2) +
                         0.08 * std::sin(two_pi * t / decade + p3) + red;
        f.signal[static_cast<std::size_t>(t)] = static_cast<float>(std::exp(s));
    }

    const double shared_a = 1.6, shared_b = 0.02, shared_k = 0.4;
    f.table.data.resize(450, trees);
    for (int i = 0; i < trees; ++i) {
        const int length = rng.integer(120, std::min(450, span));
        const int start = rng.integer(0, span - length);
        const int offset = rng.integer(0, 25);
        const double a = o.shared_curve ? shared_a : rng.uniform(0.8, 2.5);
        const double b = o.shared_curve ? shared_b : rng.uniform(0.008, 0.035);
        const double k = o.shared_curve ? shared_k : rng.uniform(0.2, 0.6);
        double noise = 0.0;
        for (int r = 0; r < length; ++r) {
            noise = 0.5 * noise + 0.22 * rng.normal();
            const double age = offset + r + 1;
            double w = (a * std::exp(-b * age) + k) * f.signal[static_cast<std::size_t>(start + r)] * std::exp(noise);
            if (o.zero_rings && rng.uniform() < 0.01) w = 0.0;
            // Widths as a Tucson file holds them: whole hundredths of a millimetre.
            f.table.data(r, i) = static_cast<float>(std::round(std::clamp(w, 0.0, 20.0) * 100.0) / 100.0);
        }
        f.table.years.push_back({f.first_year + start, f.first_year + start + length - 1, length});
        char id[16];
        std::snprintf(id, sizeof id, "T%03d", i + 1);
        f.table.ids.emplace_back(id);
        f.table.ids.back().resize(8, ' ');
        f.pith_offsets.push_back(offset);
    }
    f.table.update_summary();
    return f;
}

// Pearson correlation of a chronology (by calendar year from first_year) with the forest's
// signal over the years with at least five series; with `smooth` both are first replaced by
// their 31-year centred running means (over the same years, shorter windows at the ends).
inline double correlation(const Forest& f, std::span<const float> chronology, std::span<const int> counts,
                          int first_year, bool smooth = false) {
    std::vector<double> a, b;
    for (std::size_t k = 0; k < chronology.size() && k < counts.size(); ++k) {
        const long t = static_cast<long>(first_year) + static_cast<long>(k) - f.first_year;
        if (counts[k] < 5 || t < 0 || t >= static_cast<long>(f.signal.size())) continue;
        a.push_back(chronology[k]);
        b.push_back(f.signal[static_cast<std::size_t>(t)]);
    }
    if (smooth) {
        const auto running = [](const std::vector<double>& v) {
            std::vector<double> out(v.size());
            for (std::size_t k = 0; k < v.size(); ++k) {
                const std::size_t lo = k >= 15 ? k - 15 : 0, hi = std::min(v.size(), k + 16);
                double s = 0;
                for (std::size_t j = lo; j < hi; ++j) s += v[j];
                out[k] = s / static_cast<double>(hi - lo);
            }
            return out;
        };
        a = running(a);
        b = running(b);
    }
    const double n = static_cast<double>(a.size());
    if (n < 3) return 0.0;
    double ma = 0, mb = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        ma += a[k] / n;
        mb += b[k] / n;
    }
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        sab += (a[k] - ma) * (b[k] - mb);
        saa += (a[k] - ma) * (a[k] - ma);
        sbb += (b[k] - mb) * (b[k] - mb);
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0.0;
}

}  // namespace kestrovan::forest
