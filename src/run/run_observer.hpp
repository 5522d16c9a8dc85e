#pragma once
// The run's observer of the engine: what the engine says goes to the console and the report,
// what it draws to the run's plotter, its series files beside the data file, and its questions
// to the run's answers (the console, or a run file), with the loops of questions (the Regional
// curve, the acceptance of a stabilization) run here.
#include <utility>

#include "engine/engine_observer.hpp"
#include "io/run_io.hpp"
#include "run/series_files.hpp"
#include "run/statistics_output.hpp"

namespace kestrovan {

class RunObserver : public EngineObserver {
public:
    // `statistics`: how the run takes the signal strength of its indices; its eps_threshold is
    // the reference line of the EPS plots, and the chronology plot marks its cutoff years.
    explicit RunObserver(RunIo& io, StatisticsSettings statistics = {})
        : io_(io), statistics_(std::move(statistics)) {}

    void console_line(std::string_view text, int column) override;
    void report_line(std::string_view text, int column) override;
    void notices(Notices& notices) override;
    Plotter& plots() override { return io_.plotter; }
    void chronology_plot(const ChronologyPlot& chronology) override;
    void begin_series_files(const SeriesFilesRequest& request) override;
    void series_file_row(const SeriesFileRow& row) override;
    void end_series_files() override;
    void regional_curves_file(const RegionalCurveHistory& history) override;
    bool regional_curve_dialogue(const RegionalData& data, RegionalFit& fit, RegionalCurveHistory& history,
                                 RegionalCurve& curve) override;
    bool tree_ring_plots() override;
    StabilizedChronology stabilize(const StabilizationInput& input, const StabilizationSettings& settings,
                                   RbarTables* tables) override;
    void gave_up_pause() override;

private:
    RunIo& io_;
    StatisticsSettings statistics_;
    SeriesFiles files_;
    EnginePass pass_ = EnginePass::FirstPass;
};

// The initial Regional curve and its dialogue (before the first indices):
//   builds the curve on the measurements, draws it ("Initial RC and MVF fit"), stores it as the
//   first history curve, warns when it goes negative, asks "Try different RCS detrending" (true:
//   returns true, the caller returns with the redo request), then "Truncate the Regional Curve?":
//   on true shows the common interval of the series and asks for the biological year beyond
//   which not to fit, and starts again with it. `fit.truncation_age` holds the accepted value.
//   The questions go through io.answers, the plot to io.plotter.
// Returns true on a redo request; `curve` holds the accepted curve otherwise.
bool regional_curve_dialogue(const RegionalData& data, RegionalFit& fit, RunIo& io,
                             RegionalCurveHistory& history, RegionalCurve& curve);

}  // namespace kestrovan
