#pragma once
// Synthetic ring-width sets of any size up to the program's limits, for tests and benchmarks.
//
// Each series is an individual negative-exponential age trend (a·exp(−b·age) + k, age counted
// from the pith) times a common signal shared by all series (slow sinusoids plus red noise, so
// the chronology has strong low-frequency variation) times its own lognormal AR(1) noise. Start
// years and lengths are irregular; pith offsets (rings missing between the pith and the first
// measured ring) are optional. Everything follows from the seed through a small generator of our
// own, so a set is the same on every machine and with every standard library.
//
// Files are written with the program's own Tucson writer (trrw, mode "mw"), so what the program
// reads back is exactly what its own writer produces.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "io/tucson.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan::synthetic {

struct Options {
    int series = 100;         // number of series, 1 .. kMaxSeries
    int years = 500;          // span of the set: every series lies in first_year .. first_year + years − 1
    int first_year = 1000;    // earliest calendar year of the set
    int min_length = 0;       // shortest series; 0: a twentieth of the span, at least 50 (at most the span)
    int max_length = 0;       // longest series; 0: the whole span
    int max_pith_offset = 0;  // pith offsets drawn from 0 .. this (and at most 5000 − length); 0: all 0
    std::uint64_t seed = 1;
};

struct Series {
    std::string id;  // 8 characters, "SYN0001 " and so on (blank padded)
    int first_year = 0;
    int pith_offset = 0;
    std::vector<float> widths;  // millimetres, widths[k] belongs to first_year + k
};

struct Set {
    Options options;
    std::vector<Series> series;
    std::vector<float> signal;  // common signal by calendar year (index 0 = options.first_year)
};

// A small, fully specified generator (SplitMix64): the same numbers everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // Uniform integer in lo .. hi (inclusive).
    int integer(int lo, int hi) {
        return lo +
               static_cast<int>(next() % static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo + 1));
    }
    // Standard normal (Box–Muller; one value per call keeps the sequence simple).
    double normal() {
        const double u1 = 1.0 - uniform();  // (0, 1]
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::uint64_t state_;
};

inline void check(const Options& o) {
    if (o.series < 1 || o.series > kMaxSeries)
        throw std::invalid_argument("synthetic: series must be 1 .. 4500");
    if (o.years < 1 || o.years > kMaxYears) throw std::invalid_argument("synthetic: years must be 1 .. 5000");
    if (o.min_length < 0 || o.max_length < 0 || o.max_pith_offset < 0 || o.max_pith_offset > 9999)
        throw std::invalid_argument(
            "synthetic: lengths and pith offsets must be 0 or more (offsets at most 9999)");
    if (o.first_year < -9999 || static_cast<long long>(o.first_year) + o.years - 1 > 9999)
        throw std::invalid_argument("synthetic: years must lie within -9999 .. 9999");
}

inline Set generate(const Options& options) {
    check(options);
    Set set;
    set.options = options;
    const int span = options.years;
    int max_len = options.max_length == 0 ? span : std::min(options.max_length, span);
    int min_len = options.min_length == 0 ? std::min(span, std::max(50, span / 20)) : options.min_length;
    min_len = std::clamp(min_len, 1, max_len);

    Random rng(options.seed);

    // Common signal: two slow waves with random phases and red noise, as a multiplier near 1.
    set.signal.resize(static_cast<std::size_t>(span));
    const double phase1 = rng.uniform(0.0, 6.283185307179586), phase2 = rng.uniform(0.0, 6.283185307179586);
    double red = 0.0;
    for (int t = 0; t < span; ++t) {
        red = 0.7 * red + 0.12 * rng.normal();
        const double s = 0.30 * std::sin(6.283185307179586 * t / 350.0 + phase1) +
                         0.15 * std::sin(6.283185307179586 * t / 70.0 + phase2) + red;
        set.signal[static_cast<std::size_t>(t)] = static_cast<float>(std::exp(s));
    }

    set.series.resize(static_cast<std::size_t>(options.series));
    for (int i = 0; i < options.series; ++i) {
        Series& s = set.series[static_cast<std::size_t>(i)];
        char id[16];
        std::snprintf(id, sizeof id, "SYN%04d", i + 1);
        s.id = id;
        s.id.resize(8, ' ');
        // The first series covers the whole span, so the set reaches its stated size.
        const int length = i == 0 ? max_len : rng.integer(min_len, max_len);
        const int offset_in_span = i == 0 ? 0 : rng.integer(0, span - length);
        s.first_year = options.first_year + offset_in_span;
        // Cambial ages (offset + ring number) stay within the program's limit of 5000.
        s.pith_offset = options.max_pith_offset > 0 ? rng.integer(0, options.max_pith_offset) : 0;
        s.pith_offset = std::min(s.pith_offset, kMaxYears - length);

        const double a = rng.uniform(0.8, 2.5);     // juvenile excess growth, mm
        const double b = rng.uniform(0.005, 0.03);  // decay per year of age
        const double k = rng.uniform(0.2, 0.6);     // mature growth level, mm
        double noise = 0.0;
        s.widths.resize(static_cast<std::size_t>(length));
        for (int r = 0; r < length; ++r) {
            noise = 0.4 * noise + 0.25 * rng.normal();
            const double age = s.pith_offset + r + 1;
            const double w = (a * std::exp(-b * age) + k) *
                             set.signal[static_cast<std::size_t>(offset_in_span + r)] * std::exp(noise);
            // At least 0.005 mm: every ring is measured (no zero or negative widths).
            s.widths[static_cast<std::size_t>(r)] = static_cast<float>(std::clamp(w, 0.005, 30.0));
        }
    }
    return set;
}

// The set as a Tucson ring-width file: three descriptive lines, then every series through the
// program's writer (mode "mw", thousandths of a millimetre ended by −9999).
inline void write_tucson(std::ostream& file, const Set& set, std::string_view name = "synthetic") {
    std::istringstream no_answers;
    std::ostringstream messages;
    Console console(no_answers, messages);
    const Options& o = set.options;
    char line[128];
    std::snprintf(line, sizeof line, "SYNTH   1 Synthetic ring widths %.40s", std::string(name).c_str());
    file << line << '\n';
    std::snprintf(line, sizeof line, "SYNTH   2 %d series, years %d to %d, seed %llu", o.series, o.first_year,
                  o.first_year + o.years - 1, static_cast<unsigned long long>(o.seed));
    file << line << '\n';
    file << "SYNTH   3 Negative exponential age trends x common signal x noise\n";
    TucsonWriteState state;
    state.file_name = std::string(name);
    for (const Series& s : set.series)
        trrw(file, "mw", {.id = s.id, .first_year = s.first_year, .values = s.widths}, state, console);
}

// Pith offsets, one per line in columns 1-4, in series order.
inline void write_pith_offsets(std::ostream& file, const Set& set) {
    char line[16];
    for (const Series& s : set.series) {
        std::snprintf(line, sizeof line, "%4d", s.pith_offset);
        file << line << '\n';
    }
}

// Both files by name; throws std::runtime_error when a file cannot be written.
inline void write_files(const Set& set, const std::string& tucson_path, const std::string& pith_path = {}) {
    std::ofstream rwl(tucson_path, std::ios::binary | std::ios::trunc);
    if (!rwl) throw std::runtime_error("cannot create " + tucson_path);
    write_tucson(rwl, set, std::filesystem::path(tucson_path).filename().string());
    rwl.close();
    if (!rwl) throw std::runtime_error("cannot write " + tucson_path);
    if (pith_path.empty()) return;
    std::ofstream pith(pith_path, std::ios::binary | std::ios::trunc);
    if (!pith) throw std::runtime_error("cannot create " + pith_path);
    write_pith_offsets(pith, set);
    pith.close();
    if (!pith) throw std::runtime_error("cannot write " + pith_path);
}

}  // namespace kestrovan::synthetic
