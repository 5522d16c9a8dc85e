#pragma once
// The real-data sweep: the signal-free engine run on the bundled Tucson ring-width sets under
// many settings, each signal-free chronology judged against the standard chronology of the same
// run. The engine's numbers have no known answer on real data, but some results are plainly
// wrong whatever the answer: a signal-free chronology that no longer follows the standard one,
// whose century-scale level has drifted away from it, that soars or collapses to zero, that
// hinges on the convergence criterion, or that changes when the widths are given in other units.
// bench/sweep.cpp runs the whole sweep and prints the table; a test can run a few settings
// through run_setting and expect no flags.
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "diag/pearsn.hpp"
#include "engine/attempts.hpp"
#include "engine/engine_test_support.hpp"
#include "io/loaders.hpp"
#include "model/curve_families.hpp"
#include "model/methods.hpp"
#include "model/run_options.hpp"
#include "model/series_table.hpp"
#include "support/test_io.hpp"

namespace kestrovan::sweep {

// The years judged: those with at least this many series.
inline constexpr int kJudgedSampleSize = 5;
// r: the signal-free chronology correlates with the standard one below this.
inline constexpr double kLowestCorrelation = 0.6;
// m31: the 31-year running means of the signal-free chronology leave [1/2, 2] × the standard's.
inline constexpr int kMeanWindow = 31;
inline constexpr double kLevelFactor = 2.0;
// max: the largest signal-free value is more than this many times the largest standard value.
inline constexpr double kPeakFactor = 2.0;
// low: at least kLowYears signal-free values below kLowValue where the standard has none.
inline constexpr float kLowValue = 0.05f;
inline constexpr int kLowYears = 3;
// crit: the two convergence criteria give signal-free values further apart than this.
inline constexpr double kCriterionChange = 0.5;
// x2: doubling every width moves a chronology value by more than this (the tables print three
// decimals: a change of more than 0.0015 shows).
inline constexpr double kScaleChange = 0.0015;

// The detrending of a setting: a per-series curve option, or kCurveRcs for the Regional curve
// (an age-dependent spline of stiffness 10 on the pith-aligned series).
struct Curve {
    const char* name;
    int code;
};
inline constexpr Curve kAgeSpline{"age spline 50", kCurveAgeSpline};
inline constexpr Curve kSpline32{"spline 32", 32};
inline constexpr Curve kExpOrLine{"exp or line", 1};
inline constexpr Curve kNoDetrending{"none", kCurveNone};
inline constexpr Curve kRegional{"RCS spline 10", kCurveRcs};

// The per-series curves every set is run with; kRegional only on sets with pith offsets.
inline constexpr std::array<Curve, 4> kPerSeriesCurves{kAgeSpline, kSpline32, kExpOrLine, kNoDetrending};
inline constexpr std::array<int, 2> kMeanMethods{kMeanArithmetic, kMeanBiweight};
inline constexpr std::array<IndexMethod, 2> kIndexMethods{IndexMethod::Ratios, IndexMethod::Residuals};
// The default criterion and a coarse one: the published chronology should barely depend on which.
inline constexpr float kFineCriterion = 0.0001f;
inline constexpr float kCoarseCriterion = 0.002f;
inline constexpr std::array<float, 2> kCriteria{kFineCriterion, kCoarseCriterion};

// A bundled data set as the program reads it, with its pith offsets when it has them.
struct DataSet {
    std::string name;  // "gp" for gp.rwl
    SeriesTable table;
    std::array<std::string, 3> header{};
    std::vector<int> pith_offsets;  // one per series; empty when the set has no offset file
};

// The first integer of each non-blank line (columns 1-4), in series order.
inline std::vector<int> read_pith_offsets(const std::string& path) {
    std::ifstream file(path);
    if (!file) throw std::runtime_error("cannot open " + path);
    std::vector<int> offsets;
    std::string line;
    while (std::getline(file, line)) {
        const std::string field = line.substr(0, 4);
        if (field.find_first_not_of(" \t\r") == std::string::npos) continue;
        try {
            offsets.push_back(std::stoi(field));
        } catch (const std::exception&) {
            throw std::runtime_error(path + ": not a pith offset: \"" + line + "\"");
        }
    }
    return offsets;
}

// Reads <dir>/<name>.rwl with the program's Tucson ring-width reader and, when <name>_pith.txt
// is found in one of pith_dirs, its pith offsets (one per series). Throws std::runtime_error with
// the reader's messages when the file cannot be read.
inline DataSet load_set(const std::string& dir, const std::string& name,
                        const std::vector<std::string>& pith_dirs = {}) {
    DataSet set;
    set.name = name;
    const std::string path = dir + "/" + name + ".rwl";
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot open " + path);
    std::istringstream in;
    std::ostringstream out;
    Console console(in, out);
    if (!read_data(console, file, LoadSettings{}, set.table, set.header))
        throw std::runtime_error("cannot read " + path + ":" + out.str());
    std::vector<std::string> places{dir};
    places.insert(places.end(), pith_dirs.begin(), pith_dirs.end());
    for (const std::string& place : places) {
        const std::string pith = place + "/" + name + "_pith.txt";
        if (!std::filesystem::exists(pith)) continue;
        set.pith_offsets = read_pith_offsets(pith);
        if (static_cast<int>(set.pith_offsets.size()) != set.table.count())
            throw std::runtime_error(pith + " holds " + std::to_string(set.pith_offsets.size()) +
                                     " offsets for " + std::to_string(set.table.count()) + " series");
        break;
    }
    return set;
}

// The same series with every width multiplied by `factor` (missing cells stay missing).
inline SeriesTable scaled(const SeriesTable& table, float factor) {
    SeriesTable out = table;
    for (int c = 0; c < out.data.cols(); ++c)
        for (float& v : out.data.column(c))
            if (v != kMissing) v *= factor;
    return out;
}

// One engine run of the sweep.
struct SweepSetting {
    std::string set;  // data set name
    Curve curve = kAgeSpline;
    int mean_method = kMeanBiweight;
    IndexMethod index_method = IndexMethod::Ratios;
    float convergence = kFineCriterion;
    float width_factor = 1.0f;  // every width multiplied by this before the run
};

// The run options of a setting: the defaults, no running RBAR, and the setting's choices.
inline RunOptions options_for(const SweepSetting& s, const DataSet& data) {
    RunOptions p;
    p.curve_option = s.curve.code;
    p.mean_method = s.mean_method;
    p.index_method = s.index_method;
    p.convergence = s.convergence;
    p.rbar_window = 0;
    if (s.curve.code == kCurveRcs) {
        p.regional_curve = kCurveRcs;
        p.spline_stiffness = 10;
        p.pith_present = true;
        p.pith_offsets = data.pith_offsets;
    }
    return p;
}

// What the sweep keeps of a run: the two chronologies with their sample sizes (by calendar year
// from first_year) and how the run ended.
struct SweepRun {
    bool completed = false;  // the engine published results
    std::string outcome;     // the published iterate's outcome, or why there are no results
    int iteration = 0;       // the published iteration
    std::string criterion;   // the statistic its convergence test used
    int constant_counter = 0;
    float constant = 0.0f;  // added to the measurements in the published attempt
    int first_year = 0;
    std::vector<float> standard, signal_free;
    std::vector<int> sample_size;
};

// A directory of its own for one run's files, removed afterwards. Unlike testing::TempDir it
// leaves the working directory alone, so that runs on several threads do not disturb each other.
class ScratchDir {
public:
    ScratchDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() / ("kvsweep-" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs one setting the way the run loop does (run_attempts: a constant added on each retry),
// with a console fed "f" to every Regional-curve question, no plots, and the files written into
// a scratch directory. A stop (ProgramStop or another exception) is recorded, not thrown.
inline SweepRun run_setting(const DataSet& data, const SweepSetting& s,
                            int threads = kThreadsFromEnvironment) {
    SweepRun run;
    const SeriesTable table = s.width_factor == 1.0f ? data.table : scaled(data.table, s.width_factor);
    RunOptions params = options_for(s, data);
    ScratchDir dir;
    std::string answers;
    for (int i = 0; i < 100; ++i) answers += "f\n";
    std::istringstream in(answers);
    std::ostringstream out;
    Console console(in, out);
    OutputFiles files;
    files.data_name = dir.file(data.name + ".rwl");
    files.header = data.header;
    files.report.open(dir.file("report.txt"));
    test::CountingPlotter quiet;
    AttemptSteps steps;
    steps.threads = threads;
    EngineResults results;
    try {
        const AttemptsSummary summary = run_attempts(
            table, params, kestrovan::testing::TestIo(files, console, quiet).observer(), results, steps);
        run.constant_counter = summary.last.constant_counter;
        run.completed = summary.outcome == AttemptOutcome::Completed;
        if (!run.completed) run.outcome = "no results";
    } catch (const ProgramStop& stop) {
        run.outcome = std::string("stopped: ") + (*stop.what() ? stop.what() : stop.reason().c_str());
    } catch (const std::exception& e) {
        run.outcome = std::string("error: ") + e.what();
    }
    files.report.close();
    if (!run.completed) return run;
    run.outcome = results.published.outcome();
    run.iteration = results.published.iteration;
    run.criterion = results.published.criterion;
    run.constant = results.published.constant;
    run.first_year = results.first_year;
    run.standard = std::move(results.standard);
    run.signal_free = std::move(results.signal_free);
    run.sample_size = std::move(results.sample_size);
    return run;
}

// A chronology value that can be used: present and finite.
inline bool usable(float v) { return v != kMissing && std::isfinite(v); }

// The years judged: sample size at least kJudgedSampleSize.
inline std::vector<bool> judged_years(const SweepRun& run) {
    const std::size_t n = std::min({run.standard.size(), run.signal_free.size(), run.sample_size.size()});
    std::vector<bool> use(n);
    for (std::size_t k = 0; k < n; ++k) use[k] = run.sample_size[k] >= kJudgedSampleSize;
    return use;
}

// The signal-free chronology against the standard one over the judged years.
struct Judgement {
    int years = 0;  // judged years
    double r = 0.0;
    float ssf_min = 0.0f, ssf_max = 0.0f;
    std::vector<std::string> flags;  // "r", "m31", "max", "low"; "bad", "none" (see judge)
};

// Flags: none  the run gave no results;
//        bad   a judged year without a finite value in either chronology, or no judged year;
//        r     Pearson r below kLowestCorrelation;
//        m31   some 31-year window of judged years where the signal-free mean is more than twice
//              or less than half the standard mean;
//        max   the largest signal-free value above twice the largest standard value;
//        low   kLowYears or more signal-free values below kLowValue where the standard has none.
inline Judgement judge(const SweepRun& run) {
    Judgement j;
    if (!run.completed) {
        j.flags.push_back("none");
        return j;
    }
    const std::vector<bool> use = judged_years(run);
    std::vector<double> a, b;  // standard, signal-free over the judged years
    bool bad = false;
    for (std::size_t k = 0; k < use.size(); ++k) {
        if (!use[k]) continue;
        if (!usable(run.standard[k]) || !usable(run.signal_free[k])) {
            bad = true;
            continue;
        }
        a.push_back(run.standard[k]);
        b.push_back(run.signal_free[k]);
    }
    j.years = static_cast<int>(a.size());
    if (bad || a.size() < 3) j.flags.push_back("bad");
    if (a.size() < 3) return j;

    const std::vector<float> fa(a.begin(), a.end()), fb(b.begin(), b.end());
    j.r = pearsn(fa, fb).r;
    if (j.r < kLowestCorrelation) j.flags.push_back("r");

    // Windows of kMeanWindow consecutive calendar years, every one of them judged and usable.
    bool level = false;
    for (std::size_t start = 0; start + kMeanWindow <= use.size() && !level; ++start) {
        double sa = 0, sb = 0;
        bool inside = true;
        for (std::size_t k = start; k < start + kMeanWindow && inside; ++k) {
            inside = use[k] && usable(run.standard[k]) && usable(run.signal_free[k]);
            sa += run.standard[k];
            sb += run.signal_free[k];
        }
        if (inside && (sb > kLevelFactor * sa || sb < sa / kLevelFactor)) level = true;
    }
    if (level) j.flags.push_back("m31");

    const auto [amin, amax] = std::minmax_element(a.begin(), a.end());
    const auto [bmin, bmax] = std::minmax_element(b.begin(), b.end());
    j.ssf_min = static_cast<float>(*bmin);
    j.ssf_max = static_cast<float>(*bmax);
    if (*bmax > kPeakFactor * *amax) j.flags.push_back("max");
    const auto low = std::count_if(b.begin(), b.end(), [](double v) { return v < kLowValue; });
    if (low >= kLowYears && *amin >= kLowValue) j.flags.push_back("low");
    return j;
}

// How far two runs' chronologies are apart, year by year.
struct Difference {
    bool comparable = false;  // at least one of the runs gave results
    double mean = 0.0;        // mean absolute difference
    double max = 0.0;         // largest absolute difference: infinite where only one run has a
                              // value, or when only one gave results or their years differ
    int years = 0;            // years compared
};

// Both runs gave results over the same years (with the same sample sizes).
inline bool same_years(const SweepRun& a, const SweepRun& b) {
    return a.completed && b.completed && a.first_year == b.first_year && a.sample_size == b.sample_size &&
           a.standard.size() == a.sample_size.size() && b.standard.size() == b.sample_size.size() &&
           a.signal_free.size() == a.sample_size.size() && b.signal_free.size() == b.sample_size.size();
}

// One chronology of two runs (`pick` chooses it) over the years where `use` is true: not
// comparable when neither run gave results, infinitely apart when only one did or their years
// differ.
template <class Pick>
Difference difference(const SweepRun& a, const SweepRun& b, const std::vector<bool>& use, Pick pick) {
    Difference d;
    d.comparable = a.completed || b.completed;
    if (!d.comparable) return d;
    if (!same_years(a, b)) {
        d.max = d.mean = std::numeric_limits<double>::infinity();
        return d;
    }
    const std::vector<float>& x = pick(a);
    const std::vector<float>& y = pick(b);
    double sum = 0;
    for (std::size_t k = 0; k < use.size(); ++k) {
        if (!use[k]) continue;
        const bool ux = usable(x[k]), uy = usable(y[k]);
        if (!ux && !uy) continue;
        const double diff =
            ux && uy ? std::fabs(static_cast<double>(x[k]) - y[k]) : std::numeric_limits<double>::infinity();
        sum += diff;
        d.max = std::max(d.max, diff);
        ++d.years;
    }
    if (d.years > 0) d.mean = sum / d.years;
    return d;
}

inline const std::vector<float>& standard_of(const SweepRun& r) { return r.standard; }
inline const std::vector<float>& signal_free_of(const SweepRun& r) { return r.signal_free; }

// The signal-free chronologies of one setting run with the two convergence criteria, over the
// judged years. Flag "crit" when max exceeds kCriterionChange.
inline Difference compare_criteria(const SweepRun& fine, const SweepRun& coarse) {
    return difference(fine, coarse, judged_years(fine), signal_free_of);
}
inline bool criteria_flag(const Difference& d) { return d.comparable && d.max > kCriterionChange; }

// The standard and signal-free chronologies of one setting run on the widths as read and on the
// widths doubled, over every year with a series: indices are ratios or rescaled residuals of
// curves fitted to the widths, so the unit of the widths should change nothing. Flag "x2" when
// either moves by more than kScaleChange.
struct ScalingChange {
    Difference standard, signal_free;
    bool comparable() const { return standard.comparable; }
    double max() const { return std::max(standard.max, signal_free.max); }
};
inline ScalingChange compare_scaling(const SweepRun& once, const SweepRun& doubled) {
    std::vector<bool> use(once.sample_size.size());
    for (std::size_t k = 0; k < use.size(); ++k) use[k] = once.sample_size[k] > 0;
    return {difference(once, doubled, use, standard_of), difference(once, doubled, use, signal_free_of)};
}
inline bool scaling_flag(const ScalingChange& c) { return c.comparable() && c.max() > kScaleChange; }

// Every flag of a setting: those of its run on the widths as read, "x2" from its run on the
// doubled widths, and "crit" when `criteria` (the comparison with the other criterion) is given.
inline std::vector<std::string> setting_flags(const SweepRun& once, const SweepRun& doubled,
                                              const Difference* criteria = nullptr) {
    std::vector<std::string> flags = judge(once).flags;
    if (criteria && criteria_flag(*criteria)) flags.push_back("crit");
    if (scaling_flag(compare_scaling(once, doubled))) flags.push_back("x2");
    return flags;
}

}  // namespace kestrovan::sweep
