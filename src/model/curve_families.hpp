#pragma once
// The curve families and their option codes, written down once.
//
// A detrending curve is chosen by an integer code, in one of two lists: the per-series list (one
// curve per series, in calendar order) and the Regional list (the curve fitted to the mean of
// the series aligned by cambial age). The lists number some families differently: -2 is
// Regional Curve Standardization in the per-series list and the age-dependent spline in the
// Regional one; the straight line is 3 per series and 4 in the Regional list.
//
// kCurveFamilies holds one row per family with its code in each list, how each list uses it,
// its run-file name, its menu and report texts, the setting it takes and the kind of curve it
// gives. The curve dispatch, the option checks, the dialogue's menus and checks, the run-file
// names and the floor rules of the engine all read this table: adding a family means adding a
// row here and its fit in the dispatch.
#include <array>
#include <string>
#include <string_view>

namespace kestrovan {

// Named codes of the per-series list (the Regional list numbers some fits differently).
inline constexpr int kCurveNone = 0;              // no detrending: the raw data (fitted as the mean)
inline constexpr int kCurveRcs = -2;              // Regional Curve Standardization (Regional list:
                                                  // the age-dependent spline)
inline constexpr int kCurveMean = 6;              // horizontal line through the mean, in both lists
inline constexpr int kCurveAgeSpline = 8;         // age-dependent spline
inline constexpr int kCurveMedianLength = 9;      // spline of the median segment length (dialogue only)
inline constexpr int kCurveFallbackSpline = -66;  // spline of 66 % of the length: code 1's fallback refit

// Spline wavelengths and stiffnesses a question takes, in years, and the lowest percent code:
// beyond them a spline has no meaning (or the arithmetic would overflow). Wavelength codes start
// at kFirstWavelengthCode, percent codes at kFirstPercentCode.
inline constexpr int kMinWavelength = 2;
inline constexpr int kMaxWavelength = 100000;
inline constexpr int kMinPercentCode = -1000;
inline constexpr int kFirstWavelengthCode = 10;
inline constexpr int kFirstPercentCode = -10;

enum class CurveList { PerSeries, Regional };

enum class CurveFamilyId {
    AgeDependentSpline,
    Rcs,
    SuperSmoother,
    Lowess,
    RunningMedian,
    NoDetrending,
    ExponentialOrLine,
    ExponentialOrFallingLine,
    GeneralNegativeExponential,
    Line,
    FallingLine,
    HorizontalLine,
    Hugershoff,
    GeneralExponential,
    MedianLengthSpline,
    FirstDifferences,
    FixedSpline,
    PercentSpline,
};

// How a list uses a family's code.
enum class CodeUse {
    Absent,    // not a code of the list
    Fitted,    // offered, named, accepted by the options and fitted by the dispatch
    Engine,    // offered, named and accepted, but the engine handles it before any fit
               // (no detrending is fitted as the mean, RCS fits the Regional curve)
    Replaced,  // offered and named, but replaced before the run (the median segment length)
    Hidden,    // fitted by the dispatch only: no menu line, no name, refused by the options
};

// The kind of curve a family gives, which decides how the engine treats a fit that ends in it.
enum class CurveKind {
    LineOrExponential,  // a negative exponential or a straight line, fitted in closed form: its
                        // fallback chain ends in the mean, and a curve that reaches the line
                        // floor is replaced by the mean
    GrowthFunction,     // a growth function fitted by simplex (falls back to the line)
    Mean,               // the horizontal line through the mean
    Flexible,           // a spline or smoother
    Special,            // no fit of its own: no detrending, RCS, the median length, differences
};

// The setting a family takes besides its code.
enum class CurveSetting { None, Alpha, Stiffness, Window };

struct CodeInList {
    int code = 0;  // spline families: the code nearest 0 (the family holds every code beyond it)
    CodeUse use = CodeUse::Absent;
    bool listed() const { return use != CodeUse::Absent && use != CodeUse::Hidden; }
};

struct CurveFamily {
    CurveFamilyId id;
    const char* name;  // run-file name ("" for a family no run file names)
    CodeInList per_series;
    CodeInList regional;
    CurveKind kind;
    CurveSetting setting;
    // The general (per-series) menu: the line's place (1 = first, 0 = not shown), its text
    // from column 2, and the code label and its column (0: no label).
    int menu_place;
    const char* menu_text;
    const char* menu_label;
    int label_column;
    // The Regional (re-selection) menu: the line's place and its text from column 3.
    int regional_menu_place;
    const char* regional_menu_text;
    // The report's "CURVE FIT OPTION:" line for a per-series code ("" when it writes none), and
    // whether the setting follows the code there.
    const char* echo;
    bool echo_setting;

    const CodeInList& in(CurveList list) const {
        return list == CurveList::PerSeries ? per_series : regional;
    }
    bool spline_range() const {
        return id == CurveFamilyId::FixedSpline || id == CurveFamilyId::PercentSpline;
    }
};

// The families, in the order the run-file names are listed.
extern const std::array<CurveFamily, 18> kCurveFamilies;

// The family of `code` in `list`: a wavelength code (>= 10) is the fixed spline, a code of -10 or
// less the percent spline, whatever its size; nullptr for a code the list does not hold.
const CurveFamily* curve_family(CurveList list, int code);
// The family named `name` in `list` (nullptr when the list has no such name).
const CurveFamily* curve_family(CurveList list, std::string_view name);

// The code of family `id` in `list` (spline families: the code nearest 0); 0 when the list does not
// hold the family.
int family_code(CurveFamilyId id, CurveList list);

// How `list` uses `code` (Absent for a code it does not hold).
CodeUse code_use(CurveList list, int code);

// True when the options may hold `code` for `list` during a run: Fitted or Engine, spline codes
// within the wavelength and percent limits.
bool run_code(CurveList list, int code);

// A code the dialogue takes as an answer to the list's menu: Fitted, Engine or Replaced (spline
// codes of any size: their limits are checked apart).
bool menu_code(CurveList list, int code);

// A code whose fit is a negative exponential or a straight line (CurveKind::LineOrExponential).
bool is_line_or_exponential(CurveList list, int code);

// True when `code` is a code of family `id` in `list` (any wavelength or percent code for the
// spline families).
bool is_family(CurveList list, int code, CurveFamilyId id);

// The setting the family of `code` in `list` takes (None for a code the list does not hold).
CurveSetting setting_of(CurveList list, int code);

// The codes run_code accepts, for messages: "-5, -2, 0, ..., 8, -10 to -1000 (percent of the
// length) or 10 to 100000 (years)".
std::string run_codes_text(CurveList list);
// The spline codes within the limits, for messages: "-10 to -1000 (percent of the length) or 10
// to 100000 (years)".
std::string spline_codes_text();

// The run-file names of the list, quoted, for messages.
std::string curve_names_text(CurveList list);

// A spline wavelength (10 .. kMaxWavelength years) or percent code (-10 .. kMinPercentCode).
bool spline_code_in_limits(int code);

}  // namespace kestrovan
