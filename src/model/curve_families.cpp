#include "model/curve_families.hpp"

#include <algorithm>
#include <vector>

namespace kestrovan {

namespace {

constexpr CodeInList absent{};
constexpr CodeInList fitted(int code) { return {code, CodeUse::Fitted}; }

}  // namespace

// clang-format off
const std::array<CurveFamily, 18> kCurveFamilies{{
    {CurveFamilyId::AgeDependentSpline, "age-dependent-spline",
     fitted(kCurveAgeSpline), fitted(kCurveRcs), CurveKind::Flexible, CurveSetting::Stiffness,
     10, "Age-dependent spline smoothing", "<8>", 45,
     4, "  -2:  Age-dependent spline smoothing",
     "AGE-DEPENDENT SPLINE SMOOTHING AND START:", true},
    {CurveFamilyId::Rcs, "rcs",
     {kCurveRcs, CodeUse::Engine}, absent, CurveKind::Special, CurveSetting::Stiffness,
     3, "Regional Curve Standardization (RCS)", "-2", 45,
     0, "",
     "REGIONAL CURVE STANDARDIZATION (RCS):", false},
    {CurveFamilyId::SuperSmoother, "super-smoother",
     fitted(-5), fitted(-5), CurveKind::Flexible, CurveSetting::Alpha,
     2, "Friedman variable span smoother", "-5", 45,
     1, "  -5:  friedman super smoother" "        lower alpha (0-9) gives more local fit",
     "FRIEDMAN VARIABLE SPAN SMOOTHER AND ALPHA:", true},
    {CurveFamilyId::Lowess, "lowess",
     absent, fitted(-4), CurveKind::Flexible, CurveSetting::Window,
     0, "", "", 0,
     2, "  -4:  robust lowess smoother" "         window in years, or -percent of series length",
     "", false},
    {CurveFamilyId::RunningMedian, "median",
     absent, fitted(-3), CurveKind::Flexible, CurveSetting::Window,
     0, "", "", 0,
     3, "  -3:  median smoothing" "               must have odd window length <full length only>",
     "", false},
    {CurveFamilyId::NoDetrending, "no-detrending",
     {kCurveNone, CodeUse::Engine}, absent, CurveKind::Special, CurveSetting::None,
     4, "Raw data average, followed by Opt 6", "0", 46,
     0, "",
     "NO DETRENDING (MEAN OF RAW DATA):", false},
    {CurveFamilyId::ExponentialOrLine, "exponential-or-line",
     fitted(1), fitted(1), CurveKind::LineOrExponential, CurveSetting::None,
     5, "Neg Expon/linear any slope", "1", 46,
     5, "   1:  neg expon curve, " "no = opt 4    f(i) = a*exp(-b*t(i)) + d    (d>0)",
     "NEG EXPON/LINEAR ANY SLOPE:", false},
    {CurveFamilyId::ExponentialOrFallingLine, "exponential-or-falling-line",
     fitted(2), fitted(2), CurveKind::LineOrExponential, CurveSetting::None,
     6, "Neg Expon/linear neg slope", "2", 46,
     6, "   2:  neg expon curve, " "no = opt 5    f(i) = a*exp(-b*t(i)) + d    (d>0)",
     "NEG EXPON/LINEAR NEG SLOPE:", false},
    {CurveFamilyId::GeneralNegativeExponential, "general-negative-exponential",
     absent, fitted(3), CurveKind::GrowthFunction, CurveSetting::None,
     0, "", "", 0,
     7, "   3:  neg expon curve  " "(general)     f(i) = a*exp(-b*t(i+p)) + d (any d)",
     "", false},
    {CurveFamilyId::Line, "line",
     fitted(3), fitted(4), CurveKind::LineOrExponential, CurveSetting::None,
     7, "Linear regression any slope", "3", 46,
     8, "   4:  linear regression " "(any slope)  f(i) = +/-c*t(i) + d",
     "LINEAR REGRESSION ANY SLOPE:", false},
    {CurveFamilyId::FallingLine, "falling-line",
     fitted(4), fitted(5), CurveKind::LineOrExponential, CurveSetting::None,
     8, "Linear regression neg slope", "4", 46,
     9, "   5:  linear regression " "(neg slope)  f(i) = -c*t(i) + d   ",
     "LINEAR REGRESSION NEG SLOPE:", false},
    {CurveFamilyId::HorizontalLine, "horizontal-line",
     fitted(kCurveMean), fitted(kCurveMean), CurveKind::Mean, CurveSetting::None,
     9, "Horizontal line through mean", "6", 46,
     10, "   6:  horizontal line through " "mean   f(i) = mean(y(i)) = d",
     "HORIZONTAL LINE THROUGH MEAN:", false},
    {CurveFamilyId::Hugershoff, "hugershoff",
     absent, fitted(7), CurveKind::GrowthFunction, CurveSetting::None,
     0, "", "", 0,
     11, "   7:  hugershoff growth " "function     f(i) = a*t(i+p)**b * exp(-c*t(i+p)) + d",
     "", false},
    {CurveFamilyId::GeneralExponential, "general-exponential",
     absent, fitted(8), CurveKind::GrowthFunction, CurveSetting::None,
     0, "", "", 0,
     12, "   8:  general exponential (b = 1)    " "f(i) = a*t(i+p)**b * exp(-c*t(i+p)) + d",
     "", false},
    {CurveFamilyId::MedianLengthSpline, "median-length-spline",
     {kCurveMedianLength, CodeUse::Replaced}, absent, CurveKind::Special, CurveSetting::None,
     11, "Median segment length spline", "9", 46,
     0, "",
     "MEDIAN SEGMENT LENGTH SPLINE:", false},
    {CurveFamilyId::FirstDifferences, "",
     absent, {-1, CodeUse::Hidden}, CurveKind::Special, CurveSetting::None,
     0, "", "", 0,
     0, "",
     "", false},
    {CurveFamilyId::FixedSpline, "fixed-spline",
     fitted(kFirstWavelengthCode), fitted(kFirstWavelengthCode), CurveKind::Flexible, CurveSetting::None,
     12, "Spline filter in years (fixed .ge. 10)", "10", 45,
     13, "  >9: cubic smoothing " "spline         fixed 50 pct variance cutoff",
     "SPLINE FILTER IN YEARS (FIXED) .GE. 10:", false},
    {CurveFamilyId::PercentSpline, "percent-spline",
     fitted(kFirstPercentCode), fitted(kFirstPercentCode), CurveKind::Flexible, CurveSetting::None,
     1, "Spline percent N filter (variable)  .le.  -10", "", 0,
     14, " <-9: cubic smoothing " "spline         pct n 50 pct variance cutoff",
     "SPLINE PCT N FILTER (VARIABLE) .LE. -10:", false},
}};
// clang-format on

const CurveFamily* curve_family(CurveList list, int code) {
    for (const CurveFamily& f : kCurveFamilies) {
        const CodeInList& c = f.in(list);
        if (c.use == CodeUse::Absent) continue;
        const bool match = f.id == CurveFamilyId::FixedSpline     ? code >= c.code
                           : f.id == CurveFamilyId::PercentSpline ? code <= c.code
                                                                  : code == c.code;
        if (match) return &f;
    }
    return nullptr;
}

const CurveFamily* curve_family(CurveList list, std::string_view name) {
    if (name.empty()) return nullptr;
    for (const CurveFamily& f : kCurveFamilies)
        if (f.in(list).listed() && name == f.name) return &f;
    return nullptr;
}

int family_code(CurveFamilyId id, CurveList list) {
    for (const CurveFamily& f : kCurveFamilies)
        if (f.id == id) return f.in(list).use == CodeUse::Absent ? 0 : f.in(list).code;
    return 0;
}

CodeUse code_use(CurveList list, int code) {
    const CurveFamily* f = curve_family(list, code);
    return f ? f->in(list).use : CodeUse::Absent;
}

bool spline_code_in_limits(int code) {
    return (code >= kFirstWavelengthCode && code <= kMaxWavelength) ||
           (code <= kFirstPercentCode && code >= kMinPercentCode);
}

bool run_code(CurveList list, int code) {
    const CurveFamily* f = curve_family(list, code);
    if (!f) return false;
    const CodeUse use = f->in(list).use;
    if (use != CodeUse::Fitted && use != CodeUse::Engine) return false;
    return !f->spline_range() || spline_code_in_limits(code);
}

bool menu_code(CurveList list, int code) {
    const CodeUse use = code_use(list, code);
    return use == CodeUse::Fitted || use == CodeUse::Engine || use == CodeUse::Replaced;
}

bool is_line_or_exponential(CurveList list, int code) {
    const CurveFamily* f = curve_family(list, code);
    return f && f->kind == CurveKind::LineOrExponential;
}

bool is_family(CurveList list, int code, CurveFamilyId id) {
    const CurveFamily* f = curve_family(list, code);
    return f && f->id == id;
}

CurveSetting setting_of(CurveList list, int code) {
    const CurveFamily* f = curve_family(list, code);
    return f ? f->setting : CurveSetting::None;
}

std::string run_codes_text(CurveList list) {
    std::vector<int> codes;
    for (const CurveFamily& f : kCurveFamilies) {
        const CodeInList& c = f.in(list);
        if (!f.spline_range() && (c.use == CodeUse::Fitted || c.use == CodeUse::Engine))
            codes.push_back(c.code);
    }
    std::sort(codes.begin(), codes.end());
    std::string out;
    for (int code : codes) out += std::to_string(code) + ", ";
    return out + spline_codes_text();
}

std::string spline_codes_text() {
    return std::to_string(kFirstPercentCode) + " to " + std::to_string(kMinPercentCode) +
           " (percent of the length) or " + std::to_string(kFirstWavelengthCode) + " to " +
           std::to_string(kMaxWavelength) + " (years)";
}

std::string curve_names_text(CurveList list) {
    std::string out;
    for (const CurveFamily& f : kCurveFamilies)
        if (f.in(list).listed()) out += (out.empty() ? "\"" : ", \"") + std::string(f.name) + "\"";
    return out;
}

}  // namespace kestrovan
