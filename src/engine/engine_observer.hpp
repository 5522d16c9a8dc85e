#pragma once
// What the signal-free engine says, draws, writes and asks while it computes goes through one
// observer of the run. The engine computes; it holds no console, no plot device and no file.
// The run layer implements the observer with the console, the plots, the run's files and the
// answers of the dialogue or the run file; tests implement it with recordings.
//
// Every call is made on the thread that called the engine, in the order the run's console and
// report show it, at any thread count.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "diag/rbar.hpp"
#include "engine/rcurve.hpp"
#include "engine/stabilization.hpp"
#include "model/methods.hpp"
#include "model/notices.hpp"
#include "model/plots.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

// The two passes whose series files the engine writes.
enum class EnginePass { FirstPass, SignalFree };

// The series files of a pass: one set of measurement, curve and index files. The first-pass files
// are written as the first pass goes; the signal-free ones once, from the published iterate, and
// they take their final names only when every series is in.
struct SeriesFilesRequest {
    EnginePass pass = EnginePass::FirstPass;
    IndexMethod index_method = IndexMethod::Ratios;
    bool power_transformed = false;
    bool with_indices = true;  // false: no index file (first pass without detrending)
};

// One series of a pass: measurements and curve with `constant` to be subtracted (back to the units
// of the data file), its indices as they are.
struct SeriesFileRow {
    const std::string& id;
    int first_year = 0;
    std::span<const float> measurements, curve, indices;
    float constant = 0.0f;
};

// The chronology plot of a finished attempt ("Original & Signal Free Chronology"), with what its
// signal-free chronology was averaged from: the final indices (calendar rows x series from the
// plot's first year) and the identifiers of their series.
struct ChronologyPlot {
    const LinePlot& plot;
    const YearMatrix& indices;
    const std::vector<std::string>& ids;
};

class EngineObserver {
public:
    virtual ~EngineObserver() = default;

    // A line on the console, and a line of the run's report file.
    virtual void console_line(std::string_view text, int column = 1) = 0;
    virtual void report_line(std::string_view text, int column = 1) = 0;
    // What a fit said and went on from, in order (a pause waits for RETURN); taken out of `notices`.
    virtual void notices(Notices& notices) = 0;

    // The plots: data only. plots().enabled() is false when plots are off.
    virtual Plotter& plots() = 0;
    // The chronology plot: the run's observer marks on it the years from which the signal of the
    // indices can be trusted, which the engine leaves to the run's statistics settings.
    virtual void chronology_plot(const ChronologyPlot& chronology) { plots().plot1(chronology.plot); }

    // The series files of a pass: begin, one row per series in series order, end.
    virtual void begin_series_files(const SeriesFilesRequest& request) = 0;
    virtual void series_file_row(const SeriesFileRow& row) = 0;
    virtual void end_series_files() = 0;
    // "_RCScurves.txt": the Regional curves up to the published iterate.
    virtual void regional_curves_file(const RegionalCurveHistory& history) = 0;

    // The initial Regional curve and the questions about it: builds the curve (rcurve), may fit
    // it again with another truncation age, stores it as the history's first curve, and returns
    // true when the user asks for another Regional curve (the attempt then ends without results).
    virtual bool regional_curve_dialogue(const RegionalData& data, RegionalFit& fit,
                                         RegionalCurveHistory& history, RegionalCurve& curve) = 0;
    // "Make lots of tree-ring plots [T]rue or [F]alse"
    virtual bool tree_ring_plots() = 0;
    // The running RBAR and the variance stabilization of a pass, with the questions that accept
    // a stabilization or choose another: the accepted chronology and the option it was made with.
    virtual StabilizedChronology stabilize(const StabilizationInput& input,
                                           const StabilizationSettings& settings, RbarTables* tables) = 0;
    // The pause after the engine gave up adding constants.
    virtual void gave_up_pause() = 0;
};

// Runs fit(notices) with notices of its own and hands them to the observer when it returns or
// throws, so what a fit said before a failure is said before the failure's stop.
template <class Fit>
void with_notices(EngineObserver& observer, Fit&& fit) {
    Notices notices;
    try {
        fit(notices);
    } catch (...) {
        observer.notices(notices);
        throw;
    }
    observer.notices(notices);
}

}  // namespace kestrovan
