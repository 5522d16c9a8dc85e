#pragma once
// The numbers of the variance stabilization of a chronology: the spline stabilizations that
// remove the slow change of the chronology's spread, the centring on 1.0, and the summary of a
// running-RBAR table. The step that runs them, with its plots, questions and file, is the run
// layer's (run/stabilization.hpp), which the engine asks for through its observer.
#include <optional>
#include <span>
#include <vector>

#include "curves/growth.hpp"
#include "diag/rbar.hpp"

namespace kestrovan {

class Notices;

// The statistics of `moment` (mean, average deviation, sd, variance, skewness, kurtosis, mean
// sensitivity, first-order autocorrelation) over the years with sample_size > 0, in year order. No such
// year: every output −99.0; one: the mean is that value and the rest −99.0.
Moments moment1(std::span<const float> values, std::span<const int> sample_size);

// Age-dependent spline stabilization. chronology is overwritten with its absolute deviations
// from the centre; fitted receives the spline through them; stabilized the rescaled ratios.
// All spans have one entry per year. Where the fitted spline is 0 or below, a year keeps its
// deviation unscaled.
// Years with sample size 0 keep their chronology value. The spline's messages go to `notices`.
void stabit(std::span<float> chronology, std::span<float> fitted, std::span<float> stabilized,
            std::span<const int> sample_size, Notices& notices);

// Fixed-wavelength spline stabilization. option: 10 or more = wavelength in years; −10 or less =
// percentage of the number of years, replaced here by the number of years it gives. Years with
// sample size 0 are copied unchanged to stabilized.
// Where the fitted spline is 0 or below, a year keeps its deviation unscaled.
void stabit1(std::span<float> chronology, std::span<float> fitted, std::span<float> stabilized,
             std::span<const int> sample_size, int& option, Notices& notices);

// The figures of a running-RBAR table for a run's summary: the mean RBAR of its valid windows
// and the first year inside a valid window whose EPS (from the running RBAR and the series of the
// year) reaches 0.85. `defined` false when no window was valid.
struct RbarSummary {
    bool defined = false;
    double mean_rbar = 0.0;
    std::optional<int> first_eps_year;
    std::optional<int> eps_085_from;  // the year from which the running EPS stays at or above 0.85
};
RbarSummary summarize_rbar(const RbarTables& tables, int first_year, std::span<const int> sample_size);

// Brings the chronology to mean 1.0 over the years after nss1 that have series by dividing it by
// that mean, so that its proportions are kept. Years without series are left as they are.
// Returns the mean.
double centre_on_one(std::span<float> c, std::span<const int> n, int nss1);

// For the plots: the values of the years that lie inside a window with a valid RBAR. The other
// years (before the first valid window, after the last, between valid windows) hold copied values
// in the tables; here they get the missing code, which the plots leave out.
std::vector<float> inside_valid_windows(std::span<const float> values, const RbarTables& tables,
                                        int first_year);

}  // namespace kestrovan
