#include "run/run_options.hpp"

#include <cmath>

#include "console/ask.hpp"

namespace kestrovan {

namespace {

// A spline wavelength (10 .. kMaxWavelength years) or percent code (-10 .. kMinPercentCode).
bool spline_code(int code) {
    return (code >= 10 && code <= kMaxWavelength) || (code <= -10 && code >= kMinPercentCode);
}

const char* kSplineCodes = "-10 to -1000 (percent of the length) or 10 to 100000 (years)";

bool per_series_code(int code) {
    if (spline_code(code)) return true;
    switch (code) {
        case -5:
        case kCurveRcs:
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 6:
        case 8: return true;
        default: return false;
    }
}

bool regional_code(int code) {
    if (spline_code(code)) return true;
    return code == -5 || code == -4 || code == -3 || code == kCurveRcs || (code >= 1 && code <= 8);
}

OptionProblem problem(const char* option, long long value, std::string allowed) {
    return {option, std::to_string(value), std::move(allowed)};
}

}  // namespace

std::optional<OptionProblem> RunOptions::check() const {
    if (power_transform && index_method != IndexMethod::Residuals)
        return OptionProblem{"power_transform", "true", "only with residual indices"};
    if (!per_series_code(curve_option))
        return problem("curve_option", curve_option,
                       std::string("-5, -2, 0, 1, 2, 3, 4, 6, 8, ") + kSplineCodes);
    if (rcs() && !regional_code(regional_curve))
        return problem("regional_curve", regional_curve,
                       std::string("-5, -4, -3, -2, 1 to 8, ") + kSplineCodes);
    if (alpha < 0 || alpha > 9) return problem("alpha", alpha, "0 to 9");
    if (spline_stiffness < kMinWavelength || spline_stiffness > kMaxWavelength)
        return problem("spline_stiffness", spline_stiffness, "2 to 100000 (years)");
    if (rcs() && (regional_curve == -4 || regional_curve == -3)) {
        const bool odd = regional_curve == -3;
        const bool years = smoothing_window >= 3 && (!odd || smoothing_window % 2 == 1);
        if (!years && !(smoothing_window >= -100 && smoothing_window <= -1))
            return problem("smoothing_window", smoothing_window,
                           odd ? "an odd number of years of 3 or more, or a percent from -1 to -100"
                               : "a number of years of 3 or more, or a percent from -1 to -100");
    }
    for (int offset : pith_offsets)
        if (offset < 0) return problem("pith_offsets", offset, "0 or more");
    if (mean_method != kMeanArithmetic && mean_method != kMeanBiweight)
        return problem("mean_method", mean_method, "1 (arithmetic) or 2 (Tukey biweight)");
    if (rbar_window != 0 && (rbar_window < 25 || rbar_window > 9999))
        return problem("rbar_window", rbar_window, "0 (none), or 25 years or more");
    if (!(stabilization == 0 || stabilization == 1 || spline_code(stabilization)))
        return problem("stabilization", stabilization, std::string("0, 1, ") + kSplineCodes);
    if (stabilization != 0 && rbar_window == 0)
        return problem("stabilization", stabilization, "none (0) without a running RBAR window");
    if (!std::isfinite(convergence))
        return OptionProblem{"convergence", std::to_string(convergence), "a finite number"};
    return std::nullopt;
}

std::string RunOptions::validate() const {
    const auto p = check();
    return p ? p->option + " = " + p->value + ": " + p->allowed : std::string();
}

}  // namespace kestrovan
