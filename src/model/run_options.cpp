#include "model/run_options.hpp"

#include <cmath>
#include <string>

namespace kestrovan {

namespace {

OptionProblem problem(const char* option, long long value, std::string allowed) {
    return {option, std::to_string(value), std::move(allowed)};
}

}  // namespace

std::optional<OptionProblem> RunOptions::check() const {
    if (power_transform && index_method != IndexMethod::Residuals)
        return OptionProblem{"power_transform", "true", "only with residual indices"};
    if (!run_code(CurveList::PerSeries, curve_option))
        return problem("curve_option", curve_option, run_codes_text(CurveList::PerSeries));
    if (rcs() && !run_code(CurveList::Regional, regional_curve))
        return problem("regional_curve", regional_curve, run_codes_text(CurveList::Regional));
    if (alpha < kMinAlpha || alpha > kMaxAlpha)
        return problem("alpha", alpha, std::to_string(kMinAlpha) + " to " + std::to_string(kMaxAlpha));
    if (spline_stiffness < kMinWavelength || spline_stiffness > kMaxWavelength)
        return problem("spline_stiffness", spline_stiffness, "2 to 100000 (years)");
    const CurveFamily* regional = rcs() ? curve_family(CurveList::Regional, regional_curve) : nullptr;
    if (regional && regional->setting == CurveSetting::Window) {
        const bool odd = regional->id == CurveFamilyId::RunningMedian;
        const bool years = smoothing_window >= 3 && (!odd || smoothing_window % 2 == 1);
        if (!years && !(smoothing_window >= -100 && smoothing_window <= -1))
            return problem("smoothing_window", smoothing_window,
                           odd ? "an odd number of years of 3 or more, or a percent from -1 to -100"
                               : "a number of years of 3 or more, or a percent from -1 to -100");
    }
    for (int offset : pith_offsets)
        if (offset < 0) return problem("pith_offsets", offset, "0 or more");
    for (const OptionRange& r : kOptionRanges) {
        const int v = this->*r.field;
        if (v != r.off && (v < r.lo || v > r.hi)) return problem(r.option, v, r.allowed());
    }
    if (!(stabilization == 0 || stabilization == 1 || spline_code_in_limits(stabilization)))
        return problem("stabilization", stabilization, "0, 1, " + spline_codes_text());
    if (stabilization != 0 && rbar_window == 0)
        return problem("stabilization", stabilization, "none (0) without a running RBAR window");
    // A criterion below 0 can never be met: the iteration would run to its limit.
    if (!std::isfinite(convergence) || convergence < kMinConvergence)
        return OptionProblem{"convergence", std::to_string(convergence), "a finite number of 0 or more"};
    return std::nullopt;
}

std::string RunOptions::validate() const {
    const auto p = check();
    return p ? p->option + " = " + p->value + ": " + p->allowed : std::string();
}

}  // namespace kestrovan
