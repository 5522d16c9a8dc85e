#pragma once
// The Regional curve: the mean of all measurements of the same cambial age (ring number counted
// from the pith), smoothed by one of the regional curve fits; the initial curve with its
// dialogue, and the history of every curve fitted in one engine call.
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "curves/growth.hpp"
#include "model/notices.hpp"
#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

struct RunOptions;

// One Regional curve, indexed by age: raw[age − 1], smoothed[age − 1], age = 1 .. ages.
// Ages without any measurement hold the fill value in raw; ages below min_offset + 1 hold it in
// both curves.
struct RegionalCurve {
    std::vector<float> raw;         // mean by age ("RC")
    std::vector<float> smoothed;    // its fit ("fRC")
    std::vector<int> series;        // number of series with a measurement at each age (for plots)
    int ages = 0;                   // highest age reached by any series
    int min_offset = 0;             // smallest pith offset when offsets are present, else 0
    FitRecord record{};             // parameters of the fit
    int code = 0;                   // curve-fit code the fit ended with (after any fallback)
    bool fit_not_positive = false;  // the fit itself reached 0 or below (before the floor)
    bool replaced_by_mean = false;  // a line or exponential reached the floor: the mean (code 6)
    int raised = 0;                 // values of the curve raised to the floor
};

// The fit settings of the Regional curve (from the Run parameters).
struct RegionalFit {
    int code = -2;           // regional curve-fit option code
    float alpha = 7.0f;      // super smoother alpha
    int window = 0;          // smoothing window of the lowess / median smoothers
    int stiffness = 10;      // starting stiffness of the age-dependent spline
    int truncation_age = 0;  // 0 = fit every age; else the number of ages (from the youngest
                             // present) used for the fit; the curve is held flat beyond it
    float floor = -std::numeric_limits<float>::infinity();
    // lowest value the curve may take (the engine passes the curve floor)
    float line_floor = -std::numeric_limits<float>::infinity();
    // a line or exponential that reaches this gives way to the mean; in
    // the units of the values fitted (the engine passes the constant of
    // the attempt + the curve floor: the floor in measurement units)
};

// Builds the Regional curve of in.values (ring rows × series: row 0 = each series' first ring).
//   lengths       number of rings of each series (columns beyond lengths.size() are ignored)
//   pith_offsets  rings missing between pith and first ring, added to every ring number (an
//                 empty span means 0 for every series)
//   pith_present  shift the curve so that it starts at the smallest offset + 1
// Ages without data inside the fitted range keep the fill value in the raw curve, but the fit
// sees values interpolated linearly between the neighbouring ages with data. A truncation age
// above the number of ages acts as no truncation. A fit that ends in a spline marker (too few
// ages, or no positive definite system) is replaced by the horizontal line (code 6).
// The floors: a line or exponential (codes 1, 2, 4, 5 as the fit ended) that reaches
// fit.line_floor at any age with a value is replaced by the horizontal line through the mean
// (code 6); then every curve value below fit.floor is raised to it. What the fits said goes to
// `notices`.
struct RegionalInput {
    const YearMatrix& values;
    std::span<const int> lengths;
    std::span<const int> pith_offsets;
    bool pith_present = false;
};
RegionalCurve rcurve(const RegionalInput& in, const RegionalFit& fit, Notices& notices,
                     float fill = kMissing);

// True when the smoothed curve reaches 0 or below at an age with a value (the fill skipped), or
// when its fit did before the floor was applied.
bool regional_curve_goes_negative(const RegionalCurve& curve, float fill = kMissing);

// The Regional curves of one engine call in the order fitted: the initial curve first. Each curve
// keeps its number in that order (0 the initial one, 1 the first added, ...). At most
// kMaxRegionalCurvesKept are held: when more are fitted, the oldest curve after the initial one
// is dropped (unless it is the protected one: then the next), so the history always ends with
// the latest curve.
class RegionalCurveHistory {
public:
    void clear() {
        curves_.clear();
        numbers_.clear();
        added_ = 0;
        dropped_ = 0;
    }
    void set_initial(const RegionalCurve& curve);  // replaces the first curve (or adds it)
    // Adds a curve; a full history drops its oldest curve after the initial one other than the
    // curve numbered `protect` (the one a published iterate read).
    void add(const RegionalCurve& curve, int protect = -1);
    // Removes the curves numbered `count` and later (those fitted after the published iterate),
    // whatever was dropped before them.
    void truncate(int count) {
        std::size_t keep = 0;
        while (keep < numbers_.size() && numbers_[keep] < count) ++keep;
        curves_.resize(keep);
        numbers_.resize(keep);
    }
    int size() const { return static_cast<int>(curves_.size()); }
    // Curves ever stored, the dropped ones included: the number the next curve gets.
    int added() const { return added_; }
    int dropped() const { return dropped_; }
    const RegionalCurve& operator[](int i) const { return curves_[static_cast<std::size_t>(i)]; }
    // Highest age of any stored curve.
    int ages() const;
    // Ages × (2 × size()) matrix: column 2j the raw curve j, 2j + 1 its fit; the fill value
    // where a curve does not reach an age.
    YearMatrix as_matrix(float fill = kMissing) const;

private:
    std::vector<RegionalCurve> curves_;
    std::vector<int> numbers_;  // each stored curve's number, rising
    int added_ = 0;
    int dropped_ = 0;
};

inline constexpr int kMaxRegionalCurvesKept = 100;

// The measurements of a Regional curve: as for rcurve, with the Series table for the
// identifiers, first years and lengths of the common-interval report.
struct RegionalData {
    const YearMatrix& values;
    std::span<const int> lengths;
    std::span<const int> pith_offsets;
    bool pith_present = false;
    const SeriesTable& table;
};

}  // namespace kestrovan
