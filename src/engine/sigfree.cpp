#include "engine/sigfree.hpp"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cmath>
#include <exception>
#include <memory>
#include <optional>

#include "console/ask.hpp"
#include "console/numeric_stop.hpp"
#include "console/run_answers.hpp"
#include "curves/dispatch.hpp"
#include "curves/spline.hpp"
#include "diag/stabilize.hpp"
#include "engine/calind.hpp"
#include "engine/engine_files.hpp"
#include "engine/rcurve.hpp"
#include "engine/series_waves.hpp"
#include "engine/sftest.hpp"
#include "engine/stabilization.hpp"
#include "model/format.hpp"
#include "model/workers.hpp"
#include "plot/plotter.hpp"
#include "stats/robust.hpp"

namespace kestrovan {

namespace {

// Debug-build guard: nothing that is not a finite number may reach a chronology, an index
// matrix or a file.
[[maybe_unused]] bool all_finite(std::span<const float> v) {
    return std::all_of(v.begin(), v.end(), [](float x) { return std::isfinite(x); });
}

// The fixed facts of one engine call, derived from the Series table and the Run parameters.
struct EngineSetup {
    int series = 0;
    int first_year = 0;           // the run's first year
    int years = 0;                // span of the run
    std::vector<int> length;      // rings per series
    std::vector<int> fit_length;  // rings fitted (the curve-fitting span), 1 .. length
    std::vector<int> row0;        // calendar row of each series' first ring
    std::vector<int> offset;      // pith offset per series (0 without offsets)
    std::vector<YearSpan> spans;  // first and last year per series
    int index_mode = kRatioIndices;
    int requested_code = 8;  // the code fitted (the Regional curve's with RCS); 0 is fitted as 6
    bool raw = false;        // curve option 0
    bool rcs = false;
};

EngineSetup make_setup(const SeriesTable& table, const RunOptions& params) {
    EngineSetup s;
    s.series = table.count();
    s.index_mode = params.index_method == IndexMethod::Ratios ? kRatioIndices : kResidualIndices;
    s.raw = params.curve_option == 0;
    s.requested_code = s.raw ? kCurveMean : params.fitted_code();
    s.rcs = params.rcs();
    if (s.series == 0) return s;
    int first = table.years[0].first, last = table.years[0].last;
    for (int i = 0; i < s.series; ++i) {
        const YearSpan& y = table.years[static_cast<std::size_t>(i)];
        const int len = std::max(0, std::min(y.length, table.data.rows()));
        first = std::min(first, y.first);
        last = std::max(last, y.first + len - 1);
        s.length.push_back(len);
        s.fit_length.push_back(std::clamp(y.last - y.first + 1, std::min(1, len), len));
        s.offset.push_back(static_cast<std::size_t>(i) < params.pith_offsets.size()
                               ? std::max(0, params.pith_offsets[static_cast<std::size_t>(i)])
                               : 0);
        s.spans.push_back({y.first, y.first + len - 1, len});
    }
    s.first_year = first;
    s.years = last - first + 1;
    for (int i = 0; i < s.series; ++i)
        s.row0.push_back(table.years[static_cast<std::size_t>(i)].first - first);
    return s;
}

// True when a curve value reaches the floor (at or below it).
bool reaches_floor(std::span<const float> c, float floor) {
    return std::any_of(c.begin(), c.end(), [floor](float v) { return v <= floor; });
}

// The code one series' fit ended with, and whether a line or exponential was given up for the
// mean because it reached the curve floor.
struct SeriesFit {
    int code = kCurveMean;
    bool floored_line = false;
};

// Fits one series' curve with the per-series dispatch. A fit that gives no usable curve (a
// spline marker for a series too short for a spline, or values that are not finite numbers) is
// replaced by the horizontal line through the mean (code 6). So is a line or exponential that
// reaches `line_floor` anywhere over the series (it is no growth curve there; its indices would
// soar): `line_floor` is in the units of y, the constant of the attempt included.
SeriesFit fit_series(std::span<const float> y, std::span<float> c, int n_fit, int code, float line_floor,
                     const RunOptions& params, Notices& notices, SplineWorkspace& ws) {
    const int N = static_cast<int>(y.size());
    const auto curve = c.first(static_cast<std::size_t>(N));
    const FitSettings settings{
        .alpha = params.alpha_real(), .stiffness = params.spline_stiffness, .workspace = &ws};
    curvefits(y, curve, N, n_fit, code, settings, notices);
    bool usable = !curve_failed(c.first(static_cast<std::size_t>(N)));
    for (int j = 0; usable && j < N; ++j) usable = std::isfinite(c[static_cast<std::size_t>(j)]);
    SeriesFit fit;
    if (usable && is_line_or_exponential(CurveList::PerSeries, code) && reaches_floor(curve, line_floor)) {
        usable = false;
        fit.floored_line = true;
    }
    if (!usable) {
        code = kCurveMean;
        curvefits(y, curve, N, n_fit, code, settings, notices);
    }
    fit.code = code;
    return fit;
}

// Raises curve values below the floor to it.
void apply_floor(std::span<float> c, float floor) {
    for (float& v : c) v = std::max(v, floor);
}

// Raises every curve value below kRelativeCurveFloor × the level of the measurements (their
// running mean over kLevelWindow rings centred on the ring, kept inside the series at its ends)
// to that floor.
// Indices divide the measurements by the curve: a curve that dives far below the rings (a spline
// at the end of a series, or one fitted to signal-free values that a high chronology has pushed
// down) would otherwise give ratio indices of tens or hundreds, and feed them back into the
// chronology.
void apply_relative_floor(std::span<const float> y, std::span<float> c) {
    const std::size_t n = std::min(y.size(), c.size());
    const std::size_t w = std::min<std::size_t>(kLevelWindow, n);
    if (w == 0) return;
    double sum = 0.0;
    std::size_t lo = 0, hi = 0;  // the window [lo, hi) of the running sum
    for (std::size_t j = 0; j < n; ++j) {
        // A window of w rings centred on j, moved inside the series at its ends.
        const std::size_t want_lo = std::min(j >= w / 2 ? j - w / 2 : 0, n - w), want_hi = want_lo + w;
        while (hi < want_hi) sum += y[hi++];
        while (lo < want_lo) sum -= y[lo++];
        const float floor = static_cast<float>(kRelativeCurveFloor * sum / static_cast<double>(w));
        if (c[j] < floor) c[j] = floor;
    }
}

// The slice of the smoothed Regional curve a series reads: ring j at age offset + j + 1.
void regional_slice(const RegionalCurve& rc, int offset, std::span<float> c) {
    float last_good = 1.0f;
    for (std::size_t j = 0; j < c.size(); ++j) {
        const std::size_t a = static_cast<std::size_t>(offset) + j;
        float v = a < rc.smoothed.size() ? rc.smoothed[a] : kMissing;
        if (v == kMissing || !std::isfinite(v)) v = last_good;
        c[j] = v;
        last_good = v;
    }
}

float span_mean(std::span<const float> v) {
    if (v.empty()) return 0.0f;
    return mnsd(v).mean;
}

// The four biweight weight-summary lines of a chronology (upper quartile, median, lower
// quartile, minimum) for the summary plot.
YearMatrix weight_lines(const ChronologySummary& s) {
    const int n = s.years();
    YearMatrix m(n, 4);
    for (int t = 0; t < n; ++t) {
        m(t, 0) = s.weight_upper_quartile[static_cast<std::size_t>(t)];
        m(t, 1) = s.weight_median[static_cast<std::size_t>(t)];
        m(t, 2) = s.weight_lower_quartile[static_cast<std::size_t>(t)];
        m(t, 3) = s.weight_min[static_cast<std::size_t>(t)];
    }
    return m;
}

// The biweight summary plot: one line per statistic of the weights, each with its own legend.
// The plot refers to its arguments, so it is drawn in the statement that builds it.
SpaghettiPlot biweight_plot(const YearMatrix& lines, int ny, int first_year, std::string_view title,
                            std::string_view iteration) {
    static const std::string legends[] = {"Upper hinge", "Median", "Lower hinge", "Minimum"};
    return SpaghettiPlot{&lines, ny, 4, {}, first_year, "Year", "Biweight", title, iteration, {}, legends};
}

void both(Console& console, Report& report, const std::string& text) {
    console.line(text, 2);
    report.line(upper_case(text), 2);
}

// One engine call: the first pass, the iteration and the closing steps, sharing the state of
// the call. Nothing survives the call except what goes into the results and the carry record.
class SignalFreeRun {
public:
    SignalFreeRun(const SeriesTable& table, std::span<const float> curve_floor, const RunOptions& params,
                  const AttemptState& attempt, RunIo& io, EngineResults& results, EngineCarry& carry,
                  int threads)
        : table_(table),
          curve_floor_(curve_floor),
          params_(params),
          attempt_(attempt),
          io_(io),
          files_(io.files),
          console_(io.console),
          plotter_(io.plotter),
          results_(results),
          carry_(carry),
          setup_(make_setup(table, params)),
          nser_(setup_.series),
          ny_(setup_.years),
          index_(results.indices),
          threads_(resolve_threads(threads)) {}

    AttemptOutcome run();

private:
    enum class Step { Continue, Converged, IterationLimit, Stalled, Diverged };

    void mean_segment_length();
    bool regional_curve_questions();  // false on a redo request
    void first_pass();
    void first_chronology();
    void measure_levels();
    float net_change(std::span<const float> before, std::span<const float> after) const;
    void signal_free_series(int i, std::span<float> out) const;
    int near_zero_years(std::span<const float> chronology) const;
    void report_family_change(int i, int k);
    void per_series_curves(int k);
    void regional_curves(int k);
    void series_indices(int i, std::span<const float> c, std::span<float> x);
    void store_series(int i, std::span<const float> sfv, std::span<const float> c, std::span<const float> x);
    void write_signal_free_files(const SeriesFileNames& names);
    void report_floored_line(int i, int k);
    void report_regional_floor(const RegionalCurve& rc, int k);
    void report_regional_family(int code, int k);
    void regional_slice_of(int i, std::span<float> c) const;
    void keep_best(int k, Step step, const std::vector<float>& started_from,
                   const std::vector<float>& scale_from, int curves_after);
    void swap_best();
    void take_best();

    using SeriesBuffers = SeriesWaves::Buffers;
    template <class Compute, class Emit>
    void for_each_series(Compute&& compute, Emit&& emit);
    Step convergence_step(int k);
    void publish(Step step);
    void finish(Step outcome, int k);
    void closing_messages(Step outcome, int k);
    void store_results(Step outcome, int k, std::span<const float> standard,
                       std::span<const float> signal_free);
    void curve_plots(Step outcome, std::span<const float> signal_free);
    void run_plots(int k);
    // The running RBAR and stabilization of a pass with the run's stabilization option; an
    // option the acceptance loop chose instead holds for the rest of the run.
    std::vector<float> stabilize(const StabilizationInput& input, RbarTables* tables);

    std::span<const float> measurements(int i) const {
        return table_.data.column(i).first(static_cast<std::size_t>(length(i)));
    }
    int length(int i) const { return setup_.length[static_cast<std::size_t>(i)]; }
    // The curve floor of series i, in its units: no curve value is below it.
    float floor_of(int i) const {
        const std::size_t is = static_cast<std::size_t>(i);
        return (is < curve_floor_.size() ? curve_floor_[is] : kCurveFloor) * level_[is];
    }
    // The floor in measurement units for the lines and exponentials: a curve fitted to x + c
    // must stay above c + the floor, or it gives way to the mean.
    float line_floor_of(int i) const { return floor_of(i) + attempt_.constant; }
    bool fallback_due(int i, int k) const {
        const std::size_t is = static_cast<std::size_t>(i);
        return k >= 5 && (series_.code_now[is] != series_.code_prev[is] ||
                          (series_.code_now[is] == kCurveMean && series_.code_prev[is] == kCurveMean));
    }
    int fallback_code() const { return setup_.requested_code == 1 ? kCurveFallbackSpline : kCurveMean; }

    const SeriesTable& table_;
    std::span<const float> curve_floor_;
    const RunOptions& params_;
    const AttemptState& attempt_;
    RunIo& io_;
    OutputFiles& files_;
    Console& console_;
    Plotter& plotter_;
    EngineResults& results_;
    EngineCarry& carry_;
    const EngineSetup setup_;
    const int nser_;
    const int ny_;
    YearMatrix& index_;  // the current indices, calendar rows × series
    const int threads_;  // threads for the per-series fits and the year-by-year means

    bool first_attempt_ = false;
    bool shifted_ = false;      // this attempt's data have a constant added
    bool zero_rings_ = false;   // the data as read hold zero rings: only they may take a constant
    std::vector<float> level_;  // per series: the mean of its measurements as read (its floor's unit)
    float run_level_ = 1.0f;    // the mean of all measurements as read
    float run_largest_ = 0.0f;  // the largest measurement of all series (the constant included)
    bool plots_on_ = false;     // first-pass plots: first attempt only
    int max_len_ = 1;

    RobustWorkspace rws_;
    SplineWorkspace sws_;
    ChronologySummary summary_;
    SeriesFiles series_files_;
    std::string base_;

    std::vector<float> segment_length_;  // mean segment length by year
    std::vector<int> wavelengths_;

    // Per series: its first-pass mean, the codes and floor events of its fits, its current curve.
    struct PerSeries {
        std::vector<float> mean;  // first-pass mean of each series' measurements
        // Residual indices: how many measurement units one index unit of the series stands for
        // (the spread of its first-pass residuals over that of its ratios).
        std::vector<float> residual_scale;
        std::vector<int> code_prev, code_now;  // codes the fits ended with, previous and this iteration
        std::vector<char> floored_line;  // per series: this pass gave up a line or exponential at the floor
        std::vector<char> floored_reported;  // per series: that has been reported in this call
        std::vector<char> switched;          // per iteration (index k - 1): a curve family changed
        // The curves of the iteration being computed, series after series (curve_from[i] is
        // series i's first).
        std::vector<float> iteration_curves;
        std::vector<std::size_t> curve_from;
    };
    PerSeries series_;

    // Regional-curve mode: the fit settings, the current curve and its history, the signal-free rings.
    struct RegionalState {
        RegionalFit fit;
        RegionalCurveHistory history;
        RegionalCurve curve;
        YearMatrix sf_rings;                                      // signal-free measurements by ring
        std::vector<float> one_series_curve, one_series_indices;  // one series' slice and indices
        bool raise_reported = false;  // the first Regional curve raised to the floor was reported
        int family = 0;               // the code of the last Regional curve reported
    };
    RegionalState regional_;

    std::optional<SeriesWaves> waves_;  // the per-series work on the threads (first pass on)

    // What the plots draw: their switches, and each series in the first pass and in the latest iteration.
    struct PlotData {
        bool keep_data = false;   // per-series curves and indices kept for the closing plots
        bool tree_plots = false;  // Regional-curve mode: each series against the curve, every iteration
        YearMatrix first_curves, first_indices, final_sf, final_curves, final_indices;
    };
    PlotData plots_;

    // The best iterate so far: its indices, curves and plot data, and where it stands.
    struct BestIterate {
        // The iteration being computed writes the index matrix (and the plot data) while these
        // hold the best iterate so far (the one with the lowest criterion statistic, or the
        // converged one); a new best is swapped in, so the older buffers are overwritten by the
        // next iteration.
        YearMatrix indices, sf, curves, plot_indices;
        // Its curves, laid out as the iteration's, and the chronology it started from: the
        // signal-free files are written once, from the published iterate, after the last iteration.
        std::vector<float> iteration_curves, prev;
        std::vector<float> residual_scale;  // the series' residual scales it started from
        int k = 0;                          // the best iterate (0: the first pass, before any iteration)
        float statistic = 0.0f;
        int curves_kept = 0;  // Regional curves fitted up to the best iterate (RegionalCurveHistory::added)
    };
    BestIterate best_;

    // The chronologies of the iteration, their differences and the record of the convergence test.
    struct IterationHistory {
        std::vector<float> first_chron, first_scale, prev, chron;
        std::vector<std::vector<float>> history, differences;
        std::vector<float> year_differences, difference_trend, sftest_scratch;
        ConvergenceTrace trace;
        std::vector<float> statistic;  // the criterion statistic of every iteration (index k - 1)
        // The mean and largest change of the chronology in every iteration (index k - 1), over
        // the years with five or more series, before the slow part is taken out.
        std::vector<std::pair<float, float>> change;
        std::vector<float> change_means;  // the first of each, for the stop rule
        // The mean absolute change over two iterations (0 before iteration 3), for the stop rule.
        std::vector<float> net_changes;
    };
    IterationHistory iteration_;

    // The number of series in every year and the thinly covered years at the start.
    struct SampleDepth {
        std::vector<int> counts;
        int nss1 = 0, nss2 = 0;
        int noted = -1;  // the series that starts the run alone (nss1 > 0)
    };
    SampleDepth depth_;
};

// Runs compute for every series on the threads and emit on the calling thread in series order
// (SeriesWaves): the console, the files and the results are those of one thread.
template <class Compute, class Emit>
void SignalFreeRun::for_each_series(Compute&& compute, Emit&& emit) {
    if (!waves_) waves_.emplace(setup_.length, threads_);
    waves_->for_each(console_, compute, emit);
}

AttemptOutcome SignalFreeRun::run() {
    if (nser_ == 0 || ny_ <= 0) {
        results_ = EngineResults{};
        return AttemptOutcome::Completed;
    }
    // The first attempt of a run (or of a new Regional curve) computes the standard results; the
    // rerun of the data as read after every constant failed does not repeat them.
    first_attempt_ = (attempt_.constant_counter == 0 && attempt_.allow_retry) || !carry_.first_attempt_done;
    shifted_ = attempt_.constant > 0.0f;
    plots_on_ = first_attempt_;
    plots_.keep_data = plotter_.enabled() && !setup_.rcs;
    max_len_ = std::max(1, *std::max_element(setup_.length.begin(), setup_.length.end()));
    base_ = files_.base_name();
    index_.resize(0, 0);
    index_.resize(ny_, nser_);
    measure_levels();

    mean_segment_length();
    if (setup_.rcs && !regional_curve_questions()) return AttemptOutcome::RedoRegionalCurve;
    series_.curve_from.assign(static_cast<std::size_t>(nser_) + 1, 0);
    for (int i = 0; i < nser_; ++i)
        series_.curve_from[static_cast<std::size_t>(i) + 1] =
            series_.curve_from[static_cast<std::size_t>(i)] + static_cast<std::size_t>(length(i));
    series_.iteration_curves.assign(series_.curve_from.back(), 0.0f);
    first_pass();
    best_.iteration_curves = series_.iteration_curves;  // the first pass's curves
    // The first detrending of every series, drawn once (first attempt) in per-series mode.
    if (plots_.keep_data && plots_on_) plotter_.plt2(plots_.first_indices, setup_.spans, kMissing);
    first_chronology();

    // The iteration.
    for (const auto& head : convergence_heads()) files_.report.line(head);
    const SeriesFileNames ssf_names =
        series_file_names(base_, EnginePass::SignalFree, params_.index_method, params_.power_transform);
    // Each iteration writes its indices into the index matrix and keeps its curves; the best
    // iterate so far is kept aside, and the published one is written once, after the last
    // iteration. Before any iteration the first pass is the best there is.
    best_.indices = index_;
    best_.prev = iteration_.prev;
    best_.residual_scale = series_.residual_scale;
    if (plots_.keep_data) {
        best_.sf = plots_.final_sf;
        best_.curves = plots_.final_curves;
        best_.plot_indices = plots_.final_indices;
    }
    best_.curves_kept = regional_.history.added();
    int k = 0;
    Step step = Step::Continue;
    while (step == Step::Continue) {
        ++k;
        // The chronology this iteration starts from.
        const std::vector<float> iteration_prev = iteration_.prev;
        const std::vector<float> iteration_scale = series_.residual_scale;
        if (setup_.rcs)
            regional_curves(k);
        else
            per_series_curves(k);
        step = convergence_step(k);
        keep_best(k, step, iteration_prev, iteration_scale, regional_.history.added());
    }
    // A constant is for data whose zero rings keep the iteration from settling; other data, and
    // the data as read once every constant failed, publish their best iterate.
    if (step == Step::Diverged && attempt_.allow_retry && zero_rings_) {
        if (attempt_.constant_counter < kMaxConstantSteps) return AttemptOutcome::Retry;
        console_.line("OKAY, ADDING A CONSTANT TO THE DATA USUALLY RESULTS IN CONVERGENCE", 2);
        console_.line("EVENTUALLY WHEN USING FLEXIBLE DATA-ADAPTIVE CURVE FITS LIKE THE", 2);
        console_.line("SPLINE OR FRIEDMAN SMOOTHER. BUT NOT THIS TIME. THE DATA AS READ ARE", 2);
        console_.line("ITERATED ONCE MORE AND THEIR BEST ITERATE IS KEPT.", 2);
        files_.report.line("NO CONSTANT LET THE ITERATION CONVERGE: THE DATA AS READ ARE ITERATED AGAIN", 2);
        io_.answers.gave_up_pause();
        return AttemptOutcome::GaveUp;
    }
    publish(step);
    take_best();
    write_signal_free_files(ssf_names);
    finish(step, best_.k);
    return AttemptOutcome::Completed;
}

// After iteration k: when it is the best iterate so far (the converged one always is), its index
// matrix, curves and plot data are swapped into the best buffers; the older best ones are then
// overwritten by the next iteration (every series writes the same cells in every pass).
void SignalFreeRun::keep_best(int k, Step step, const std::vector<float>& started_from,
                              const std::vector<float>& scale_from, int curves_after) {
    const float stat = iteration_.statistic[static_cast<std::size_t>(k - 1)];
    const bool usable = std::isfinite(stat) && step != Step::Diverged;
    if (!(step == Step::Converged || (usable && (best_.k == 0 || stat < best_.statistic)))) return;
    best_.k = k;
    best_.statistic = stat;
    best_.curves_kept = curves_after;
    best_.prev = started_from;
    best_.residual_scale = scale_from;
    swap_best();
}

// Exchanges the working buffers of the iteration (indices, curves, plot data) with the best
// iterate's.
void SignalFreeRun::swap_best() {
    std::swap(index_, best_.indices);
    std::swap(series_.iteration_curves, best_.iteration_curves);
    if (plots_.keep_data) {
        std::swap(plots_.final_sf, best_.sf);
        std::swap(plots_.final_curves, best_.curves);
        std::swap(plots_.final_indices, best_.plot_indices);
    }
}

// The best iterate back into the working buffers, and the histories cut after it.
void SignalFreeRun::take_best() {
    swap_best();
    iteration_.history.resize(static_cast<std::size_t>(best_.k) + 1);
    iteration_.differences.resize(static_cast<std::size_t>(best_.k));
    regional_.history.truncate(best_.curves_kept);
    std::vector<float>().swap(best_.iteration_curves);
    best_.indices = YearMatrix();
}

// What the results say of the published iterate.
void SignalFreeRun::publish(Step step) {
    PublishedIterate& p = results_.published;
    p = PublishedIterate{};
    p.attempt = attempt_.constant_counter + 1;
    p.constant = attempt_.constant;
    p.iteration = best_.k;
    p.threshold = params_.convergence;
    if (best_.k > 0) {
        p.criterion = criterion_name(
            static_cast<int>(choose_criterion(best_.k, params_.median_differences, params_.curve_option)));
        p.statistic = best_.statistic;
        const auto& change = iteration_.change[static_cast<std::size_t>(best_.k - 1)];
        p.change_mean = change.first;
        p.change_max = change.second;
        if (setup_.index_mode == kRatioIndices) p.near_zero_years = near_zero_years(best_.prev);
    }
    p.end = best_.k == 0                   ? IterationEnd::NoIterate
            : step == Step::Converged      ? IterationEnd::Converged
            : step == Step::IterationLimit ? IterationEnd::IterationLimit
            : step == Step::Stalled        ? IterationEnd::Stalled
                                           : IterationEnd::Diverged;
}

// The level of every series as read (its mean, the constant of the attempt taken off; the mean of
// all series for a series without any width), and whether the data hold zero rings.
void SignalFreeRun::measure_levels() {
    const std::size_t n = static_cast<std::size_t>(nser_);
    level_.assign(n, 0.0f);
    zero_rings_ = false;
    run_largest_ = 0.0f;
    double sum = 0.0;
    long long rings = 0;
    for (int i = 0; i < nser_; ++i) {
        const auto meas = measurements(i);
        if (meas.empty()) continue;
        const auto is = static_cast<std::size_t>(i);
        level_[is] = span_mean(meas) - attempt_.constant;
        for (float v : meas) {
            sum += v;
            run_largest_ = std::max(run_largest_, v);
            zero_rings_ = zero_rings_ || v <= attempt_.constant;
        }
        rings += static_cast<long long>(meas.size());
    }
    const double all = rings > 0 ? sum / static_cast<double>(rings) - attempt_.constant : 0.0;
    run_level_ = all > 0.0 ? static_cast<float>(all) : 1.0f;
    for (float& l : level_)
        if (!(l > 0.0f)) l = run_level_;
}

// Mean segment length and mean tree age by year, with their plot.
void SignalFreeRun::mean_segment_length() {
    for (int i = 0; i < nser_; ++i)
        for (int j = 0; j < length(i); ++j)
            index_(setup_.row0[static_cast<std::size_t>(i)] + j, i) = static_cast<float>(length(i));
    robsum(index_, ny_, nser_, kMeanArithmetic, summary_, rws_, threads_);
    segment_length_ = summary_.location;
    for (int i = 0; i < nser_; ++i)
        for (int j = 0; j < length(i); ++j)
            index_(setup_.row0[static_cast<std::size_t>(i)] + j, i) = static_cast<float>(j + 1);
    robsum(index_, ny_, nser_, kMeanArithmetic, summary_, rws_, threads_);
    if (plots_on_)
        plotter_.plot1({.y1 = segment_length_,
                        .y2 = summary_.location,
                        .first_year = setup_.first_year,
                        .x_label = "Year",
                        .y_label = "Length or age (years)",
                        .title = "Mean Segment Length And Mean Tree Age",
                        .legend1 = " Mean Segment Length",
                        .legend2 = "Mean Approx Tree Age"});
    index_.fill(kMissing);

    // The per-year stiffness of the spline through the chronology differences (interior years).
    wavelengths_.assign(static_cast<std::size_t>(std::max(ny_, 1)), 2);
    for (int t = 1; t + 1 < ny_; ++t)
        wavelengths_[static_cast<std::size_t>(t - 1)] =
            std::max(2, static_cast<int>(segment_length_[static_cast<std::size_t>(t)]));
}

// The initial Regional curve with its dialogue, then the tree-ring plot question.
bool SignalFreeRun::regional_curve_questions() {
    regional_.fit.code = params_.regional_curve;
    regional_.fit.alpha = params_.alpha_real();
    regional_.fit.window = params_.smoothing_window;
    regional_.fit.stiffness = params_.spline_stiffness;
    regional_.fit.floor = kCurveFloor * run_level_;
    regional_.fit.line_floor = attempt_.constant + regional_.fit.floor;
    if (regional_curve_dialogue({table_.data, setup_.length, setup_.offset, params_.pith_present, table_},
                                regional_.fit, io_, regional_.history, regional_.curve))
        return false;
    // The iteration's fits start from the code the accepted initial curve ended with.
    regional_.fit.code = regional_.curve.code;
    regional_.family = regional_.curve.code;
    report_regional_floor(regional_.curve, 0);
    plots_.tree_plots = io_.answers.tree_ring_plots();
    return true;
}

// Curves and indices of every series from its measurements, and the first-pass files. The
// files belong to the standard results, which come from the data as read: they are written on
// the first attempt only, never from measurements with a constant added.
void SignalFreeRun::first_pass() {
    if (first_attempt_)
        series_files_.open(
            series_file_names(base_, EnginePass::FirstPass, params_.index_method, params_.power_transform),
            !setup_.raw, files_.header, EnginePass::FirstPass);
    const std::size_t n = static_cast<std::size_t>(nser_);
    series_.mean.assign(n, 0.0f);
    series_.residual_scale.assign(n, 0.0f);
    series_.switched.clear();
    series_.code_prev.assign(n, setup_.requested_code);
    series_.code_now.assign(n, setup_.requested_code);
    series_.floored_line.assign(n, 0);
    series_.floored_reported.assign(n, 0);
    regional_.one_series_curve.assign(static_cast<std::size_t>(max_len_), 0.0f);
    regional_.one_series_indices.assign(static_cast<std::size_t>(max_len_), 0.0f);
    if (first_attempt_) {
        carry_.standard_curves.resize(0, 0);
        carry_.standard_curves.resize(ny_, nser_);
    }
    if (plots_.keep_data) {
        plots_.first_curves.resize(max_len_, nser_);
        plots_.first_indices.resize(max_len_, nser_);
        plots_.final_sf.resize(max_len_, nser_);
        plots_.final_curves.resize(max_len_, nser_);
        plots_.final_indices.resize(max_len_, nser_);
    }

    // Each worker fits its series (it writes only that series' entries of the per-series vectors);
    // the files, the index matrix and the carry record are written in series order afterwards.
    auto compute = [&](int i, SeriesBuffers b, Notices& notices, SplineWorkspace& ws) {
        const std::size_t is = static_cast<std::size_t>(i);
        const auto meas = measurements(i);
        series_.mean[is] = span_mean(meas);
        if (setup_.rcs) {
            regional_slice_of(i, b.curve);
            series_.code_prev[is] = regional_.curve.code;
        } else {
            const SeriesFit fit = fit_series(meas, b.curve, setup_.fit_length[is], setup_.requested_code,
                                             line_floor_of(i), params_, notices, ws);
            series_.code_prev[is] = fit.code;
            series_.floored_line[is] = fit.floored_line;
            apply_floor(b.curve, floor_of(i));
            apply_relative_floor(meas, b.curve);
        }
        if (setup_.raw)
            std::copy(meas.begin(), meas.end(), b.indices.begin());  // no detrending: the values themselves
        else
            calind(meas, b.curve, b.indices, setup_.index_mode);
        if (setup_.index_mode == kResidualIndices) series_.residual_scale[is] = residual_scale(meas, b.curve);
    };
    auto emit = [&](int i, SeriesBuffers b) {
        const std::size_t is = static_cast<std::size_t>(i);
        const int len = length(i);
        const auto meas = measurements(i);
        const std::span<const float> c = b.curve, x = b.indices;
        assert(all_finite(c) && all_finite(x));
        report_floored_line(i, 0);
        series_files_.write(table_.ids[is], setup_.spans[is].first, meas, c, x, attempt_.constant, console_);
        for (int j = 0; j < len; ++j) index_(setup_.row0[is] + j, i) = x[static_cast<std::size_t>(j)];
        if (first_attempt_)
            for (int j = 0; j < len; ++j)
                carry_.standard_curves(setup_.row0[is] + j, i) =
                    c[static_cast<std::size_t>(j)] - attempt_.constant;
        std::copy(c.begin(), c.end(),
                  series_.iteration_curves.begin() + static_cast<std::ptrdiff_t>(series_.curve_from[is]));
        if (plots_.keep_data)
            for (int j = 0; j < len; ++j) {
                plots_.first_curves(j, i) = c[static_cast<std::size_t>(j)];
                plots_.first_indices(j, i) = x[static_cast<std::size_t>(j)];
                plots_.final_sf(j, i) = meas[static_cast<std::size_t>(j)];
                plots_.final_curves(j, i) = c[static_cast<std::size_t>(j)];
                plots_.final_indices(j, i) = x[static_cast<std::size_t>(j)];
            }
    };
    for_each_series(compute, emit);
    series_files_.close();
    // The first-versus-final plots draw the first pass of the data as read as "original".
    if (plots_.keep_data && first_attempt_) {
        carry_.first_data.resize(max_len_, nser_);
        for (int i = 0; i < nser_; ++i) {
            const auto meas = measurements(i);
            std::copy(meas.begin(), meas.end(), carry_.first_data.column(i).begin());
        }
        carry_.first_curves = plots_.first_curves;
        carry_.first_indices = plots_.first_indices;
    }
}

// The first chronology, its level, nss1/nss2, the original chronology and the running RBAR of
// the first-pass indices.
void SignalFreeRun::first_chronology() {
    robsum(index_, ny_, nser_, params_.mean_method, summary_, rws_, threads_);
    depth_.counts = summary_.count;
    if (params_.mean_method == kMeanBiweight && plots_on_)
        plotter_.spaghetti(biweight_plot(
            weight_lines(summary_), ny_, setup_.first_year,
            setup_.raw ? "Biweights For Raw Data Chronology" : "Biweights For Standard Chronology",
            "Iteration: " + fmt_i(0, 3)));
    iteration_.first_chron = summary_.location;
    iteration_.first_scale = summary_.scale;
    set_mean_one(iteration_.first_chron, depth_.counts, 0);

    while (depth_.nss1 < ny_ && depth_.counts[static_cast<std::size_t>(depth_.nss1)] == 1) ++depth_.nss1;
    while (depth_.nss2 < ny_ && depth_.counts[static_cast<std::size_t>(depth_.nss2)] <= 5) ++depth_.nss2;
    if (ny_ - depth_.nss2 < 20) depth_.nss2 = depth_.nss1;
    if (first_attempt_) {
        console_.line(
            "nss1,nss2 skip first number of years: " + fmt_i(depth_.nss1, 3) + "  " + fmt_i(depth_.nss2, 3),
            2);
        carry_.original_chronology = iteration_.first_chron;
        set_mean_one(carry_.original_chronology, depth_.counts, depth_.nss1);
        carry_.standard_scale = iteration_.first_scale;
        carry_.standard_indices = index_;
        carry_.stabilized_standard.clear();
        carry_.first_attempt_done = true;
    }
    carry_.original_chronology.resize(static_cast<std::size_t>(ny_), 0.0f);
    carry_.standard_scale.resize(static_cast<std::size_t>(ny_), 0.0f);
    iteration_.history.assign(1, carry_.original_chronology);

    // The series that starts the run alone: its first-pass mean over its rings after nss1.
    if (depth_.nss1 > 0) {
        for (int i = 0; i < nser_; ++i) {
            if (setup_.row0[static_cast<std::size_t>(i)] != 0) continue;
            const auto meas = measurements(i);
            if (static_cast<int>(meas.size()) > depth_.nss1)
                series_.mean[static_cast<std::size_t>(i)] =
                    span_mean(meas.subspan(static_cast<std::size_t>(depth_.nss1)));
            depth_.noted = i;
        }
    }

    iteration_.prev = iteration_.first_chron;
    if (params_.rescale_to_one) set_mean_one(iteration_.prev, depth_.counts, depth_.nss1);
    if (plots_on_)
        plotter_.plot1({.y1 = iteration_.prev,
                        .first_year = setup_.first_year,
                        .x_label = "Year",
                        .y_label = "Index",
                        .title = setup_.raw ? "Original Non-Variance Stabilized Raw Data Indices"
                                            : "Original Non-Variance Stabilized Standard Indices",
                        .legend1 = setup_.raw ? "Raw Data Chronology" : "Standard Chronology",
                        .legend2 = "     ",
                        .unit_line = true});
    // The running RBAR and stabilization of the standard indices belong to the standard results:
    // computed once, on the first attempt, from the data as read.
    if (params_.rbar_window > 0 && first_attempt_)
        carry_.stabilized_standard = stabilize({RbarPass::FirstPass,
                                                setup_.raw,
                                                {index_, setup_.spans, setup_.first_year},
                                                {iteration_.first_chron, depth_.counts},
                                                depth_.nss1,
                                                plots_on_,
                                                attempt_.constant_counter == 0},
                                               &carry_.standard_rbar);

    iteration_.year_differences.assign(static_cast<std::size_t>(ny_), 0.0f);
    iteration_.difference_trend.assign(static_cast<std::size_t>(ny_), 0.0f);
    if (setup_.rcs) regional_.sf_rings.resize(max_len_, nser_);
}

// Signal-free measurements of series i by ring, where two or more series cover the year (a
// ring alone in its year keeps its measurement), then brought back to the series' first-pass
// mean. Both depend continuously on the chronology and keep the units of the measurements:
// - ratios: the measurement divided by the previous chronology of its year, but by no less than
//   kNearZeroChronology (a year the chronology puts near 0 has no signal to divide by, and a
//   ring is never multiplied by more than 1 / kNearZeroChronology), and never above the largest
//   measurement of all series: the signal-free measurements stay within the range of the data;
// - residuals: the measurement less the chronology's departure from 1 in the series' own units
//   (its residual-to-ratio scale); no value below 0.
void SignalFreeRun::signal_free_series(int i, std::span<float> out) const {
    const std::size_t is = static_cast<std::size_t>(i);
    const auto meas = measurements(i);
    const bool ratios = setup_.index_mode == kRatioIndices;
    const float scale = series_.residual_scale[is];
    for (std::size_t j = 0; j < meas.size(); ++j) {
        const std::size_t t = static_cast<std::size_t>(setup_.row0[is]) + j;
        float v = meas[j];
        if (depth_.counts[t] >= 2) {
            const float c = iteration_.prev[t];
            v = ratios ? std::min(meas[j] / std::max(c, kNearZeroChronology), run_largest_)
                       : meas[j] - (c - 1.0f) * scale;
        }
        out[j] = v;
    }
    std::span<float> part = out;
    if (i == depth_.noted && static_cast<int>(out.size()) > depth_.nss1)
        part = out.subspan(static_cast<std::size_t>(depth_.nss1));
    const float own = span_mean(part);
    if (ratios) {
        if (own != 0.0f) {
            const float factor = series_.mean[is] / own;
            for (float& v : part) v *= factor;
        }
    } else {
        for (float& v : part) v = std::max(0.0f, v - own + series_.mean[is]);
    }
}

// The mean absolute difference of two chronologies over the years with five or more series.
float SignalFreeRun::net_change(std::span<const float> before, std::span<const float> after) const {
    double sum = 0.0;
    int years = 0;
    for (std::size_t t = 0; t < before.size() && t < after.size() && t < depth_.counts.size(); ++t)
        if (depth_.counts[t] >= 5) {
            sum += std::fabs(before[t] - after[t]);
            ++years;
        }
    return years > 0 ? static_cast<float>(sum / years) : 0.0f;
}

// The covered years (two or more series) in which a chronology is below kNearZeroChronology.
int SignalFreeRun::near_zero_years(std::span<const float> chronology) const {
    int n = 0;
    for (std::size_t t = 0; t < chronology.size() && t < depth_.counts.size(); ++t)
        n += depth_.counts[t] >= 2 && chronology[t] < kNearZeroChronology;
    return n;
}

// Per-series mode: a new curve for every series, fitted to its signal-free measurements.
// The fits run on the workers (each writes only its series' entries of series_.code_now and
// series_.floored_line); the files and the index matrix are written in series order afterwards.
void SignalFreeRun::per_series_curves(int k) {
    auto compute = [&](int i, SeriesBuffers b, Notices& notices, SplineWorkspace& ws) {
        const std::size_t is = static_cast<std::size_t>(i);
        const auto sfv = b.values;
        const auto c = b.curve;
        signal_free_series(i, sfv);
        SeriesFit fit = fit_series(sfv, c, setup_.fit_length[is], setup_.requested_code, line_floor_of(i),
                                   params_, notices, ws);
        series_.code_now[is] = fit.code;
        series_.floored_line[is] = fit.floored_line;
        if (fallback_due(i, k)) {
            fit = fit_series(sfv, c, setup_.fit_length[is], fallback_code(), line_floor_of(i), params_,
                             notices, ws);
            series_.code_now[is] = fit.code;
            series_.floored_line[is] = series_.floored_line[is] || fit.floored_line;
        }
        apply_floor(c, floor_of(i));
        apply_relative_floor(measurements(i), c);
        series_indices(i, c, b.indices);
    };
    auto emit = [&](int i, SeriesBuffers b) {
        report_floored_line(i, k);
        report_family_change(i, k);
        store_series(i, b.values, b.curve, b.indices);
    };
    series_.switched.resize(static_cast<std::size_t>(k), 0);
    for_each_series(compute, emit);
    series_.code_prev = series_.code_now;
}

// Regional-curve mode: one new curve from the signal-free measurements of all series by age.
void SignalFreeRun::regional_curves(int k) {
    for (int i = 0; i < nser_; ++i)
        if (length(i) > 0)
            signal_free_series(i, regional_.sf_rings.column(i).first(static_cast<std::size_t>(length(i))));
    const bool offsets = params_.pith_present;
    regional_.curve =
        rcurve(regional_.sf_rings, setup_.length, setup_.offset, offsets, regional_.fit, console_);
    // A fit that fell back starts the next fit of the Regional curve from its fallback code.
    regional_.fit.code = regional_.curve.code;
    report_regional_floor(regional_.curve, k);

    // The fallback rule on the codes stored for each series: a failing check refits the Regional
    // curve with the fallback code. Refits of the same data with the same code give the same
    // curve, so it is computed once, and the series all read the curve of the iteration.
    bool fall_back = false;
    for (int i = 0; i < nser_; ++i) {
        series_.code_now[static_cast<std::size_t>(i)] = regional_.curve.code;
        fall_back = fall_back || fallback_due(i, k);
    }
    if (fall_back) {
        RegionalFit f = regional_.fit;
        f.code = fallback_code();
        regional_.curve = rcurve(regional_.sf_rings, setup_.length, setup_.offset, offsets, f, console_);
        report_regional_floor(regional_.curve, k);
        std::fill(series_.code_now.begin(), series_.code_now.end(), regional_.curve.code);
    }
    // One curve per iteration in the history: the one the series read. The best iterate's curve
    // is never dropped from a full history: the published history ends with it.
    regional_.history.add(regional_.curve, best_.curves_kept - 1);
    report_regional_family(regional_.curve.code, k);
    if (plots_.tree_plots)
        plotter_.plt1(regional_.curve.raw, regional_.curve.smoothed, 1,
                      regional_.curve.ages - regional_.curve.min_offset, kMissing,
                      "Iteration       Regional Curve MVF", regional_.curve.min_offset,
                      regional_.curve.series);
    series_.code_prev = series_.code_now;

    for (int i = 0; i < nser_; ++i) {
        const std::size_t is = static_cast<std::size_t>(i);
        const int len = length(i);
        if (len <= 0) continue;
        const auto c = std::span<float>(regional_.one_series_curve).first(static_cast<std::size_t>(len));
        regional_slice_of(i, c);
        const auto sfv = regional_.sf_rings.column(i).first(static_cast<std::size_t>(len));
        if (plots_.tree_plots)
            plots_.tree_plots =
                plotter_.plt3({.by_year = measurements(i),
                               .by_age = sfv,
                               .curve = regional_.curve.smoothed,
                               .first_year = setup_.spans[is].first,
                               .last_year = setup_.spans[is].last,
                               .missing = kMissing,
                               .curve_ages = regional_.curve.ages - regional_.curve.min_offset,
                               .id = table_.ids[is],
                               .title = "Signal Free Series And RC",
                               .age_before = setup_.offset[is],
                               .age_offset = regional_.curve.min_offset,
                               .iteration = k});
        const auto x = std::span<float>(regional_.one_series_indices).first(static_cast<std::size_t>(len));
        series_indices(i, c, x);
        store_series(i, sfv, c, x);
    }
}

// Series i's slice of the current Regional curve, with the series' floor as for per-series curves
// (the Regional curve itself is already held at the floor).
void SignalFreeRun::regional_slice_of(int i, std::span<float> c) const {
    regional_slice(regional_.curve, setup_.offset[static_cast<std::size_t>(i)], c);
    apply_floor(c, floor_of(i));
}

// One report line the first time in this call that series i's line or exponential reached the
// curve floor and gave way to the mean (k = 0: the first pass).
void SignalFreeRun::report_floored_line(int i, int k) {
    const std::size_t is = static_cast<std::size_t>(i);
    if (!series_.floored_line[is] || series_.floored_reported[is]) return;
    series_.floored_reported[is] = 1;
    files_.report.line("CURVE OF SERIES " + upper_case(trim(table_.ids[is])) +
                           " REACHES THE CURVE FLOOR IN ITERATION" + fmt_i(k, 4) +
                           ": HORIZONTAL MEAN USED (CODE 6)",
                       2);
}

// Report lines for a new Regional curve: a line or exponential that gave way to the mean (every
// time), and values raised to the floor (the first time in this call).
void SignalFreeRun::report_regional_floor(const RegionalCurve& rc, int k) {
    if (rc.replaced_by_mean)
        files_.report.line("REGIONAL CURVE REACHES THE CURVE FLOOR IN ITERATION" + fmt_i(k, 4) +
                               ": HORIZONTAL MEAN USED (CODE 6)",
                           2);
    if (rc.raised > 0 && !regional_.raise_reported) {
        regional_.raise_reported = true;
        files_.report.line("REGIONAL CURVE BELOW THE CURVE FLOOR IN ITERATION" + fmt_i(k, 4) + ":" +
                               fmt_i(rc.raised, 5) + " VALUES RAISED TO THE FLOOR",
                           2);
    }
}

// A report line when the Regional curve of iteration k is of another family (code) than the one
// before it: the standard and the signal-free results then rest on different curves.
void SignalFreeRun::report_regional_family(int code, int k) {
    series_.switched.resize(static_cast<std::size_t>(k), 0);
    if (code == regional_.family) return;
    series_.switched[static_cast<std::size_t>(k - 1)] = 1;
    files_.report.line("REGIONAL CURVE CHANGES FROM CODE" + fmt_i(regional_.family, 4) + " TO CODE" +
                           fmt_i(code, 4) + " IN ITERATION" + fmt_i(k, 4),
                       2);
    regional_.family = code;
}

// A report line when the curve of series i in iteration k is of another family (code) than in
// the iteration before: the jump of the chronology that follows is the program's doing, and the
// stop rule is told so.
void SignalFreeRun::report_family_change(int i, int k) {
    const std::size_t is = static_cast<std::size_t>(i);
    if (series_.code_now[is] == series_.code_prev[is]) return;
    series_.switched[static_cast<std::size_t>(k - 1)] = 1;
    files_.report.line("CURVE OF SERIES " + upper_case(trim(table_.ids[is])) + " CHANGES FROM CODE" +
                           fmt_i(series_.code_prev[is], 4) + " TO CODE" + fmt_i(series_.code_now[is], 4) +
                           " IN ITERATION" + fmt_i(k, 4),
                       2);
}

// Indices of series i from its measurements and its new curve; with residual indices also the
// scale between its residuals and its indices, for the next signal-free step.
void SignalFreeRun::series_indices(int i, std::span<const float> c, std::span<float> x) {
    calind(measurements(i), c, x, setup_.index_mode);
    if (setup_.index_mode == kResidualIndices)
        series_.residual_scale[static_cast<std::size_t>(i)] = residual_scale(measurements(i), c);
}

// Series i's indices into the index matrix, its curve into the iteration's curves (and the
// closing plots).
void SignalFreeRun::store_series(int i, std::span<const float> sfv, std::span<const float> c,
                                 std::span<const float> x) {
    const std::size_t is = static_cast<std::size_t>(i);
    assert(all_finite(c) && all_finite(x) && all_finite(sfv));
    for (std::size_t j = 0; j < x.size(); ++j) index_(setup_.row0[is] + static_cast<int>(j), i) = x[j];
    std::copy(c.begin(), c.end(),
              series_.iteration_curves.begin() + static_cast<std::ptrdiff_t>(series_.curve_from[is]));
    if (plots_.keep_data)
        for (std::size_t j = 0; j < x.size(); ++j) {
            plots_.final_sf(static_cast<int>(j), i) = sfv[j];
            plots_.final_curves(static_cast<int>(j), i) = c[j];
            plots_.final_indices(static_cast<int>(j), i) = x[j];
        }
}

// The signal-free files of the published iterate, written once after the last iteration: its
// signal-free measurements again (from the chronology it started from), its curves and indices
// (the first pass's measurements, curves and indices when no iteration could be published).
// They are written under staged names that take the final names when every series is in, so a
// run stopped or failing on the way never leaves a half-written file under them (a failure
// stops the run with a message naming the file).
void SignalFreeRun::write_signal_free_files(const SeriesFileNames& names) {
    std::swap(iteration_.prev, best_.prev);
    std::swap(series_.residual_scale, best_.residual_scale);
    series_files_.open(names, true, files_.header, EnginePass::SignalFree, true);
    results_.curves.resize(0, 0);
    results_.curves.resize(ny_, nser_);
    std::vector<float> sfv(static_cast<std::size_t>(max_len_)), x(static_cast<std::size_t>(max_len_));
    for (int i = 0; i < nser_; ++i) {
        const std::size_t is = static_cast<std::size_t>(i), len = static_cast<std::size_t>(length(i));
        if (len == 0) continue;
        const std::span<float> v = std::span<float>(sfv).first(len);
        if (best_.k == 0) {
            const auto meas = measurements(i);
            std::copy(meas.begin(), meas.end(), v.begin());
        } else {
            signal_free_series(i, v);
        }
        for (std::size_t j = 0; j < len; ++j) x[j] = index_(setup_.row0[is] + static_cast<int>(j), i);
        const std::span<const float> c(series_.iteration_curves.data() + series_.curve_from[is], len);
        for (std::size_t j = 0; j < len; ++j)
            results_.curves(setup_.row0[is] + static_cast<int>(j), i) = c[j] - attempt_.constant;
        series_files_.write(table_.ids[is], setup_.spans[is].first, v, c,
                            std::span<const float>(x).first(len), attempt_.constant, console_);
    }
    series_files_.commit();
    std::swap(iteration_.prev, best_.prev);
    std::swap(series_.residual_scale, best_.residual_scale);
    // The curves are in the files: their memory goes back before the closing running RBAR.
    std::vector<float>().swap(series_.iteration_curves);
}

// The new chronology, its differences from the previous one, the convergence test and the
// decision of the stop rule (stop_decision): converged, the iteration limit, stalled, diverged or
// on. A rise alone is no failure: the iteration goes on, and the best iterate is what gets
// published.
SignalFreeRun::Step SignalFreeRun::convergence_step(int k) {
    Report& report = files_.report;
    robsum(index_, ny_, nser_, params_.mean_method, summary_, rws_, threads_);
    iteration_.chron = summary_.location;
    if (params_.rescale_to_one)
        set_mean_one(iteration_.chron, depth_.counts, depth_.nss1);
    else
        clip_chronology(iteration_.chron, depth_.counts);
    assert(all_finite(iteration_.chron));
    iteration_.history.push_back(iteration_.chron);

    // Differences, and their size over the well covered years as they are; then their slow
    // change is removed by a spline as stiff as the mean segment length of each year.
    double change_sum = 0.0;
    float change_max = 0.0f;
    int change_years = 0;
    for (std::size_t t = 0; t < iteration_.year_differences.size(); ++t) {
        const float d = iteration_.prev[t] - iteration_.chron[t];
        iteration_.year_differences[t] = d;
        if (depth_.counts[t] >= 5) {
            change_sum += std::fabs(d);
            change_max = std::max(change_max, std::fabs(d));
            ++change_years;
        }
    }
    iteration_.change.resize(static_cast<std::size_t>(k));
    iteration_.change[static_cast<std::size_t>(k - 1)] = {
        change_years > 0 ? static_cast<float>(change_sum / change_years) : 0.0f, change_max};
    iteration_.differences.push_back(iteration_.year_differences);
    if (ny_ >= 4) {
        with_notices(console_, [&](Notices& notices) {
            spline2(ny_, iteration_.year_differences, iteration_.difference_trend, wavelengths_, notices,
                    &sws_);
        });
        if (!curve_failed(iteration_.difference_trend) && all_finite(iteration_.difference_trend))
            for (std::size_t t = 0; t < iteration_.year_differences.size(); ++t)
                iteration_.year_differences[t] -= iteration_.difference_trend[t];
    }

    // Statistics over the chosen years (after nss2 with the tweak), or over all years when
    // none of those has data.
    const std::size_t skip = params_.tweaks ? static_cast<std::size_t>(std::min(depth_.nss2, ny_)) : 0;
    for (float& v : iteration_.year_differences) v = std::fabs(v);
    ConvergenceStats stats =
        sftest(std::span<const float>(iteration_.year_differences).subspan(skip),
               std::span<const int>(depth_.counts).subspan(skip), iteration_.sftest_scratch);
    if (stats.years == 0)
        stats = sftest(iteration_.year_differences, depth_.counts, iteration_.sftest_scratch);
    if (stats.years == 0) report.line("NO YEAR WITH DATA FOR THE CONVERGENCE TEST: CRITERION TAKEN AS 0", 2);
    const auto marks = iteration_.trace.add(stats);
    report.line(convergence_line(k, stats, marks));

    const Criterion crit = choose_criterion(k, params_.median_differences, params_.curve_option);
    iteration_.statistic.resize(static_cast<std::size_t>(k));
    iteration_.statistic[static_cast<std::size_t>(k - 1)] = stats.at(static_cast<int>(crit));
    iteration_.prev = iteration_.chron;
    series_.switched.resize(static_cast<std::size_t>(k), 0);
    iteration_.change_means.push_back(iteration_.change.back().first);
    iteration_.net_changes.push_back(
        k >= 3 ? net_change(iteration_.history[static_cast<std::size_t>(k - 2)], iteration_.chron) : 0.0f);
    const StopDecision decision = stop_decision(
        {iteration_.statistic, iteration_.change_means, iteration_.net_changes, series_.switched},
        StopRule{.threshold = params_.convergence, .max_iterations = kMaxIterations});
    const auto warn = [&](const char* text) {
        const std::string warning = Columns().at(1, text).at(67, fmt_i(k, 3)).str();
        console_.line(warning);
        report.line(warning);
    };
    switch (decision) {
        case StopDecision::Converged: return Step::Converged;
        case StopDecision::IterationLimit: return Step::IterationLimit;
        case StopDecision::Diverged:
            warn("WARNING: THE CONVERGENCE STATISTIC KEEPS GROWING, ITER:");
            return Step::Diverged;
        case StopDecision::Stalled:
            warn("WARNING: THE CONVERGENCE STATISTIC HAS STOPPED FALLING, ITER:");
            return Step::Stalled;
        case StopDecision::Continue: break;
    }
    return Step::Continue;
}

// The closing messages on the console and, in capitals, in the report: how the iteration ended,
// and which iterate is published when it is not the last one.
void SignalFreeRun::closing_messages(Step outcome, int k) {
    Report& report = files_.report;
    const std::string threshold = fmt_f(params_.convergence, 6, 4);
    const int last = static_cast<int>(iteration_.statistic.size());
    if (outcome == Step::Converged) {
        both(console_, report,
             "Final iteration with convergence (<" + threshold + " change): " + fmt_i(k, 2));
        return;
    }
    if (outcome == Step::IterationLimit) {
        both(console_, report,
             "Maximum iterations used without converging (<" + threshold + " change): " + fmt_i(last, 2));
        both(console_, report,
             std::string("If you are not satisfied, try a simpler (more monotonic) curve ") +
                 "fit like a negative");
        both(console_, report,
             std::string("exponential curve, or if you were computing ") +
                 "ratios, try computing power transformed");
        both(console_, report,
             std::string("residuals instead with ") +
                 "the same curvefit option that did not converge. Often works.");
    }
    if (k == 0) {
        both(console_, report, "No iteration gave a usable chronology: the first pass is kept");
        return;
    }
    both(console_, report,
         "Best iteration kept: " + fmt_i(k, 3) + " of" + fmt_i(last, 4) + ", statistic " +
             trim(fmt_f(best_.statistic, 12, 8)) + " against " + trim(fmt_f(params_.convergence, 12, 8)));
}

// The results of a finished attempt, but the stabilized signal-free chronology.
void SignalFreeRun::store_results(Step outcome, int k, std::span<const float> standard,
                                  std::span<const float> signal_free) {
    results_.first_year = setup_.first_year;
    results_.years = ny_;
    results_.standard.assign(standard.begin(), standard.end());
    results_.standard_scale = carry_.standard_scale;
    results_.signal_free.assign(signal_free.begin(), signal_free.end());
    results_.signal_free_scale = summary_.scale;
    results_.final_chronology.assign(signal_free.begin(), signal_free.end());
    results_.sample_size = depth_.counts;
    results_.sample_size_real.assign(depth_.counts.begin(), depth_.counts.end());
    results_.iterations = k;
    results_.nss1 = depth_.nss1;
    results_.nss2 = depth_.nss2;
    results_.converged = outcome == Step::Converged && k > 0;
    results_.history.resize(0, 0);
    results_.history.resize(ny_, static_cast<int>(iteration_.history.size()));
    for (std::size_t j = 0; j < iteration_.history.size(); ++j)
        std::copy(iteration_.history[j].begin(), iteration_.history[j].end(),
                  results_.history.column(static_cast<int>(j)).begin());
    results_.stabilized_standard = carry_.stabilized_standard;
    results_.standard_indices = carry_.standard_indices;
    results_.standard_curves = carry_.standard_curves;
    results_.standard_rbar = carry_.standard_rbar;
    results_.convergence = iteration_.trace.all();
}

// The final chronology, the closing messages, the final scaling, the running RBAR of the final
// indices and the results.
void SignalFreeRun::finish(Step outcome, int k) {
    Report& report = files_.report;
    robsum(index_, ny_, nser_, params_.mean_method, summary_, rws_, threads_);
    std::vector<float> signal_free = summary_.location;
    clip_chronology(signal_free, depth_.counts);

    if (setup_.rcs) {
        write_rcs_curves(base_ + "_RCScurves.txt", regional_.history);
        // Curves fitted up to the published iterate that a full history dropped.
        const int missing = best_.curves_kept - regional_.history.size();
        if (missing > 0)
            report.line(
                fmt_i(missing, 5) +
                " INTERMEDIATE REGIONAL CURVES NOT KEPT: THE HISTORY HOLDS THE INITIAL AND THE LATEST " +
                std::to_string(regional_.history.size() - 1) + " UP TO THE PUBLISHED ITERATION");
    }
    curve_plots(outcome, signal_free);

    closing_messages(outcome, k);
    const PublishedIterate& published = results_.published;
    if (k > 0)
        report.line(
            "CHANGE OF THE CHRONOLOGY IN THE PUBLISHED ITERATION, YEARS WITH 5 OR MORE SERIES: MEAN " +
                trim(fmt_f(published.change_mean, 12, 6)) + ", LARGEST " +
                trim(fmt_f(published.change_max, 12, 6)),
            2);
    if (published.near_zero_years > 0)
        report.line(std::to_string(published.near_zero_years) + " YEARS OF THE CHRONOLOGY BELOW " +
                        trim(fmt_f(kNearZeroChronology, 6, 2)) + ": THE SIGNAL-FREE STEP DIVIDED BY " +
                        trim(fmt_f(kNearZeroChronology, 6, 2)) + " THERE",
                    2);

    // The standard chronology is the first attempt's, scaled as in a run without retries; the
    // signal-free one takes its spread after retries.
    std::vector<float> standard(static_cast<std::size_t>(ny_), 0.0f);
    for (const std::string& note : final_scaling(carry_.original_chronology, standard, signal_free,
                                                 depth_.counts, depth_.nss2, shifted_))
        report.line(note, 2);
    assert(all_finite(standard) && all_finite(signal_free));
    if (plotter_.enabled()) {
        // The signal-free chronology smoothed by a 20-year spline, for the eye.
        std::vector<float> smooth;
        if (ny_ >= 4) {
            smooth.assign(static_cast<std::size_t>(ny_), 0.0f);
            with_notices(console_,
                         [&](Notices& notices) { spline1(ny_, signal_free, smooth, 20, notices, &sws_); });
            if (curve_failed(smooth)) smooth.clear();
        }
        const std::string smooth_legend =
            std::string(setup_.raw ? "Mean Adjust RAW Chron" : "Signal Free STD Chron") + ", 20-yr spline";
        const std::string title =
            (params_.mean_method == kMeanBiweight ? "Robust Original & Signal Free Chronology, Iter ="
                                                  : "Original & Signal Free Chronology, Iter =") +
            fmt_i(k, 3);
        plotter_.plot1({.y1 = standard,
                        .y2 = signal_free,
                        .first_year = setup_.first_year,
                        .x_label = "Year",
                        .y_label = "Index",
                        .title = title,
                        .legend1 = setup_.raw ? "Original RAW Chronology" : "Original STD Chronology",
                        .legend2 = setup_.raw ? "Mean Adjust RAW Chron" : "Signal Free STD Chron",
                        .sample_size = depth_.counts,
                        .unit_line = true,
                        .smooth = smooth,
                        .smooth_legend = smooth_legend});
    }

    store_results(outcome, k, standard, signal_free);
    results_.stabilized_signal_free.clear();
    if (params_.rbar_window > 0)
        results_.stabilized_signal_free = stabilize({RbarPass::SignalFree,
                                                     setup_.raw,
                                                     {index_, setup_.spans, setup_.first_year},
                                                     {results_.final_chronology, depth_.counts},
                                                     depth_.nss1,
                                                     true,
                                                     first_attempt_},
                                                    &results_.signal_free_rbar);
    results_.stabilized_standard.resize(static_cast<std::size_t>(ny_), 0.0f);
    results_.stabilized_signal_free.resize(static_cast<std::size_t>(ny_), 0.0f);

    run_plots(k);
}

std::vector<float> SignalFreeRun::stabilize(const StabilizationInput& input, RbarTables* tables) {
    const int option = carry_.stabilization.value_or(params_.stabilization);
    StabilizedChronology s = rbar_stabilization(input, {params_.rbar_window, option}, io_, tables, threads_);
    if (s.option != option) carry_.stabilization = s.option;
    return std::move(s.values);
}

// The curve plots after the iteration: the Regional-curve history, or the per-series overview,
// the biweight summary and the first-versus-final plots.
void SignalFreeRun::curve_plots(Step outcome, std::span<const float> signal_free) {
    if (!plotter_.enabled()) return;
    if (setup_.rcs) {
        // Rows are ages from 1; ages below the youngest one present hold the fill value.
        const YearMatrix curves = regional_.history.as_matrix();
        const int offset = regional_.history.size() > 0 ? regional_.history[0].min_offset : 0;
        plotter_.plt4(curves, regional_.history.ages(), regional_.history.size(), offset, kMissing,
                      regional_.curve.series);
        plotter_.plt5(curves, regional_.history.ages(), regional_.history.size(), offset, kMissing,
                      regional_.curve.series);
        return;
    }
    const std::vector<float> no_mean;
    const YearSpan all{setup_.first_year, setup_.first_year + ny_ - 1, ny_};
    const char* measured = params_.power_transform ? "Transformed width" : "Width (mm)";
    plotter_.linguine2({.initial = &plots_.final_sf,
                        .final = &plots_.final_curves,
                        .mean = no_mean,
                        .years = setup_.spans,
                        .summary = all,
                        .x_label = "Year",
                        .y_label = measured,
                        .title = outcome == Step::Converged
                                     ? "Convergent Curvefits For Signal Free Chronology"
                                     : "Non-Convergent Curvefits For Signal Free Chronology",
                        .legend1 = "Signal Free Data",
                        .legend2 = "Final Curves"});
    if (params_.mean_method == kMeanBiweight)
        plotter_.spaghetti(biweight_plot(weight_lines(summary_), ny_, setup_.first_year,
                                         "Biweights For Signal Free Chronology",
                                         "Iteration: " + fmt_i(best_.k, 3)));
    // The final lines in the units of the data as read: the constant of the attempt taken off.
    if (attempt_.constant != 0.0f)
        for (int i = 0; i < nser_; ++i)
            for (int j = 0; j < length(i); ++j) {
                plots_.final_sf(j, i) -= attempt_.constant;
                plots_.final_curves(j, i) -= attempt_.constant;
            }
    // The three first-versus-final plots: series over their own years, first pass and final iteration.
    const auto first_and_final = [&](const YearMatrix& first, const YearMatrix& final,
                                     std::span<const float> mean, std::string_view y_label,
                                     std::string_view title) {
        plotter_.linguine2({.initial = &first,
                            .final = &final,
                            .mean = mean,
                            .years = setup_.spans,
                            .summary = all,
                            .x_label = "Year",
                            .y_label = y_label,
                            .title = title,
                            .legend1 = "Original",
                            .legend2 = "Final",
                            .unit_line = y_label == "Index"});
    };
    // "Original" is the first pass of the data as read (the first attempt's).
    first_and_final(carry_.first_data, plots_.final_sf, no_mean, measured,
                    "Original and Final Signal Free Raw Data");
    first_and_final(carry_.first_curves, plots_.final_curves, no_mean, measured,
                    "Original and Final Signal Free Curvefits");
    first_and_final(carry_.first_indices, plots_.final_indices, signal_free, "Index",
                    "Original and Final Signal Free Indices");
}

// The plots of the whole run: convergence statistics, differences and the smoothed chronology
// of every iteration.
void SignalFreeRun::run_plots(int k) {
    if (!plotter_.enabled() || k <= 0) return;
    std::vector<float> wt_mean, wt_median;
    for (const auto& st : iteration_.trace.all()) {
        wt_mean.push_back(st.wt_mean);
        wt_median.push_back(st.wt_median);
    }
    plotter_.plot1({.y1 = wt_mean,
                    .y2 = wt_median,
                    .first_year = 1,
                    .x_label = "Iteration",
                    .y_label = "Absolute difference (index)",
                    .title = "Iteration Convergence Statistics, Iter =" + fmt_i(k, 3),
                    .legend1 = "   Mean ABS Diff Test",
                    .legend2 = "Median ABS Diff Test"});
    YearMatrix diffs(ny_, static_cast<int>(iteration_.differences.size()));
    for (std::size_t j = 0; j < iteration_.differences.size(); ++j)
        std::copy(iteration_.differences[j].begin(), iteration_.differences[j].end(),
                  diffs.column(static_cast<int>(j)).begin());
    plotter_.spaghetti({.lines = &diffs,
                        .n = ny_,
                        .m = diffs.cols(),
                        .first_year = setup_.first_year,
                        .x_label = "Year",
                        .y_label = "Difference (index)",
                        .title = "Signal Free Chronology Iteration Differences",
                        .legend1 = "First Iteration",
                        .legend2 = "   Final Iteration"});

    // On data with a constant added the chronologies of the iterations are first scaled to the
    // mean of the original chronology.
    const int wavelength = ny_ <= 100 ? 10 : ny_ <= 500 ? 30 : ny_ <= 2000 ? 50 : 100;
    YearMatrix smooth(ny_, static_cast<int>(iteration_.history.size()));
    const ChronologyLevel base_level = chronology_level(iteration_.history[0], depth_.counts, depth_.nss2);
    for (std::size_t j = 0; j < iteration_.history.size(); ++j) {
        std::vector<float> col = iteration_.history[j];
        if (shifted_ && j >= 1) {
            const ChronologyLevel l = chronology_level(col, depth_.counts, depth_.nss2);
            if (l.mean > 0.0)
                for (float& v : col) v = static_cast<float>(v / l.mean * base_level.mean);
        }
        auto out = smooth.column(static_cast<int>(j));
        std::copy(col.begin(), col.end(), out.begin());
        if (ny_ >= 4) {
            with_notices(console_,
                         [&](Notices& notices) { spline1(ny_, col, out, wavelength, notices, &sws_); });
            if (curve_failed(out)) std::copy(col.begin(), col.end(), out.begin());
        }
    }
    plotter_.spaghetti(
        {.lines = &smooth,
         .n = ny_,
         .m = smooth.cols(),
         .first_year = setup_.first_year,
         .x_label = "Year",
         .y_label = "Index",
         .title = "Signal Free Chronology Iterations: " + std::to_string(wavelength) + "-Yr Splines",
         .legend1 = "Original Chronology",
         .legend2 = "   Final Iteration",
         .unit_line = true});
}

}  // namespace

std::string criterion_name(int criterion) {
    static const char* const names[] = {"unweighted mean", "unweighted median", "weighted mean",
                                        "weighted median"};
    return criterion >= 0 && criterion < 4 ? names[criterion] : "unweighted mean";
}

std::string PublishedIterate::outcome() const {
    switch (end) {
        case IterationEnd::Converged: return "converged";
        case IterationEnd::NoIterate: return "could not iterate";
        default: return "stopped at its best iterate";
    }
}

std::string PublishedIterate::message() const {
    const auto number = [](float v) { return trim(fmt_f(v, 14, 8)); };
    const std::string where = "iteration " + std::to_string(iteration) + " of attempt " +
                              std::to_string(attempt) + " (constant " + trim(fmt_f(constant, 6, 1)) + ")";
    switch (end) {
        case IterationEnd::Converged:
            return "converged: " + where + ", " + criterion + " " + number(statistic) +
                   " against criterion " + number(threshold);
        case IterationEnd::NoIterate:
            return "could not iterate: the first pass is published as the signal-free chronology";
        default: break;
    }
    const char* why = end == IterationEnd::IterationLimit ? "the iteration limit was reached"
                      : end == IterationEnd::Stalled      ? "the statistic stopped falling"
                                                          : "the statistic kept growing";
    return "stopped at its best iterate (statistic " + number(statistic) + " against criterion " +
           number(threshold) + "): " + where + ", " + criterion + "; " + why;
}

AttemptOutcome sigfree(const SeriesTable& table, std::span<const float> curve_floor, const RunOptions& params,
                       const AttemptState& attempt, RunIo& io, EngineResults& results, EngineCarry& carry,
                       int threads) {
    return SignalFreeRun(table, curve_floor, params, attempt, io, results, carry, threads).run();
}

}  // namespace kestrovan
