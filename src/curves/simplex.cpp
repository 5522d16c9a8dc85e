#include "curves/simplex.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/format.hpp"
#include "model/notices.hpp"
#include "model/numeric_failure.hpp"

namespace kestrovan {

namespace {

// Fixed vertices 2.. of the starting simplex: vertex k+1 is zero except coordinate k.
constexpr float kStartNegExp[3] = {1.0f, -0.01f, 0.1f};
constexpr float kStartGeneralExp[4] = {1.0f, -0.01f, 1.0f, 0.1f};
constexpr float kStartHugershoff[5] = {1.0f, 1.0f, -0.01f, 1.0f, 0.1f};

std::span<const float> starting_table(int model) {
    switch (model) {
        case kNegExpModel: return kStartNegExp;
        case kGeneralExpModel: return kStartGeneralExp;
        case kHugershoffModel: return kStartHugershoff;
    }
    throw NumericFailure("growth-function model " + std::to_string(model) + " does not exist");
}

// Fortran-style Dw.d: the exponential form with a D for the exponent letter.
std::string fmt_d(double value, int width, int decimals) {
    std::string s = fmt_e(value, width, decimals);
    for (char& ch : s)
        if (ch == 'E') ch = 'D';
    return s;
}

// A fatal condition of the fit: its lines, then a wait for RETURN, then the stop.
[[noreturn]] void fatal_stop(std::vector<FailureLine> lines) { throw NumericFailure(std::move(lines), true); }

}  // namespace


int shift_coordinate(int model) {
    switch (model) {
        case kGeneralExpModel: return 2;
        case kHugershoffModel: return 3;
        default: return -1;
    }
}

GrowthParameters unpack_growth(int model, std::span<const float> v) {
    GrowthParameters g;
    switch (model) {
        case kNegExpModel:
            g.a = v[0];
            g.rate = v[1];
            g.asymptote = v[2];
            break;
        case kGeneralExpModel:
            g.a = v[0];
            g.power = 1.0f;
            g.rate = v[1];
            g.shift = v[2];
            g.asymptote = v[3];
            break;
        case kHugershoffModel:
            g.a = v[0];
            g.power = v[1];
            g.rate = v[2];
            g.shift = v[3];
            g.asymptote = v[4];
            break;
        default: starting_table(model);  // throws
    }
    return g;
}

float gamoff(std::span<const float> params, std::span<const float> t, std::span<const float> y, int model) {
    const std::size_t n = y.size();
    if (n > kSimplexMaxValues) {
        fatal_stop({{},
                    {"in gamoff ne > nemax: " + fmt_i(static_cast<long long>(n), 10) +
                     fmt_i(static_cast<long long>(kSimplexMaxValues), 10)},
                    {"bye."}});
    }
    const GrowthParameters g = unpack_growth(model, params);
    const double a = g.a, b = g.rate, q = g.power, p = g.shift, d = g.asymptote;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double u = static_cast<double>(t[i]) + p;
        if (u <= 0.0) {
            fatal_stop({{"in gamoff tmd<= 0 at xd." + fmt_d(u, 17, 10) + fmt_d(t[i], 17, 10)},
                        {"this is a fatal condition."}});
        }
        const double f = a * std::exp(b * u + q * std::log(u)) + d;
        const double r = f - y[i];
        sum += r * r;
    }
    return static_cast<float>(sum);
}

float ametry(Simplex& simplex, std::span<float> psum, int worst, float factor,
             const SimplexObjective& objective, int shift) {
    const int ndim = simplex.free;
    std::array<float, kSimplexCoordinates> trial{};
    const float fac1 = (1.0f - factor) / static_cast<float>(ndim);
    const float fac2 = fac1 - factor;
    auto& hi = simplex.vertex[static_cast<std::size_t>(worst)];
    for (int j = 0; j < ndim; ++j) trial[j] = psum[j] * fac1 - hi[j] * fac2;
    // The shift never goes below zero: a non-positive trial shift is evaluated as 0.
    if (shift >= 0 && !(trial[static_cast<std::size_t>(shift)] > 0.0f))
        trial[static_cast<std::size_t>(shift)] = 0.0f;
    const float value = objective(std::span<const float>(trial.data(), static_cast<std::size_t>(ndim)));
    if (value < simplex.value[static_cast<std::size_t>(worst)]) {
        simplex.value[static_cast<std::size_t>(worst)] = value;
        for (int j = 0; j < ndim; ++j) {
            psum[j] += trial[j] - hi[j];
            hi[j] = trial[j];
        }
    }
    return value;
}

int amoeba(Simplex& simplex, float tolerance, const SimplexObjective& objective, int shift,
           Notices& notices) {
    const int ndim = simplex.free;
    const int mpts = ndim + 1;
    auto& p = simplex.vertex;
    auto& y = simplex.value;
    std::array<float, kSimplexCoordinates> psum{};
    auto sum_columns = [&] {
        for (int j = 0; j < ndim; ++j) {
            float s = 0.0f;
            for (int i = 0; i < mpts; ++i) s += p[i][j];
            psum[j] = s;
        }
    };
    auto move_to_front = [&](int best) {
        std::swap(y[0], y[best]);
        std::swap(p[0], p[best]);
    };

    int evaluations = 0;
    sum_columns();
    for (;;) {
        int ilo = 0, ihi, inhi;
        if (y[0] > y[1]) {
            ihi = 0;
            inhi = 1;
        } else {
            ihi = 1;
            inhi = 0;
        }
        for (int i = 0; i < mpts; ++i) {
            if (y[i] <= y[ilo]) ilo = i;
            if (y[i] > y[ihi]) {
                inhi = ihi;
                ihi = i;
            } else if (y[i] > y[inhi] && i != ihi) {
                inhi = i;
            }
        }
        const float rtol = 2.0f * std::fabs(y[ihi] - y[ilo]) / (std::fabs(y[ihi]) + std::fabs(y[ilo]));
        if (rtol < tolerance) {
            move_to_front(ilo);
            return evaluations;
        }
        if (evaluations >= kSimplexMaxEvaluations) {
            notices.pause("itmax exceeded in amoeba");
            move_to_front(ilo);
            return evaluations;
        }
        evaluations += 2;
        float trial = ametry(simplex, psum, ihi, -1.0f, objective, shift);
        if (trial <= y[ilo]) {
            ametry(simplex, psum, ihi, 2.0f, objective, shift);
        } else if (trial >= y[inhi]) {
            const float saved = y[ihi];
            trial = ametry(simplex, psum, ihi, 0.5f, objective, shift);
            if (trial >= saved) {
                // Shrink every vertex but the best halfway towards it.
                for (int i = 0; i < mpts; ++i) {
                    if (i == ilo) continue;
                    for (int j = 0; j < ndim; ++j) p[i][j] = 0.5f * (p[i][j] + p[ilo][j]);
                    y[i] = objective(std::span<const float>(p[i].data(), static_cast<std::size_t>(ndim)));
                }
                evaluations += ndim;
                sum_columns();
            }
        } else {
            --evaluations;
        }
    }
}

float gamoeba(Simplex& simplex, int model, GrowthPoints points, std::span<float> curve, int& evaluations,
              Notices& notices) {
    const std::span<const float> t = points.t, y = points.y;
    const std::span<const float> table = starting_table(model);
    const int ndim = static_cast<int>(table.size());
    simplex.free = ndim;
    const SimplexObjective objective = [&](std::span<const float> v) { return gamoff(v, t, y, model); };

    simplex.value[0] = objective(std::span<const float>(simplex.vertex[0].data(), table.size()));
    for (int k = 0; k < ndim; ++k) {
        auto& v = simplex.vertex[static_cast<std::size_t>(k + 1)];
        v.fill(0.0f);
        v[static_cast<std::size_t>(k)] = table[static_cast<std::size_t>(k)];
        simplex.value[static_cast<std::size_t>(k + 1)] =
            objective(std::span<const float>(v.data(), table.size()));
    }

    evaluations = amoeba(simplex, kSimplexTolerance, objective, shift_coordinate(model), notices);

    const GrowthParameters g = unpack_growth(model, simplex.vertex[0]);
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const float u = static_cast<float>(i + 1) + g.shift;
        curve[i] = g.a * std::exp(g.rate * u + g.power * std::log(u)) + g.asymptote;
    }
    return simplex.value[0];
}

HugershoffStart hughdi(std::span<const float> t, std::span<const float> y, std::span<float> curve,
                       float missing) {
    const std::size_t n = std::min(t.size(), y.size());
    // Normal equations of ln y = alpha + q ln t + B t.
    double s0 = 0, sl = 0, st = 0, sll = 0, slt = 0, stt = 0, sy = 0, sly = 0, sty = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(y[i] > 0.0f) || !(t[i] > 0.0f) || y[i] == missing) continue;
        const double lt = std::log(static_cast<double>(t[i]));
        const double tt = t[i];
        const double ly = std::log(static_cast<double>(y[i]));
        s0 += 1.0;
        sl += lt;
        st += tt;
        sll += lt * lt;
        slt += lt * tt;
        stt += tt * tt;
        sy += ly;
        sly += lt * ly;
        sty += tt * ly;
    }
    auto det3 = [](double a11, double a12, double a13, double a21, double a22, double a23, double a31,
                   double a32, double a33) {
        return a11 * (a22 * a33 - a23 * a32) - a12 * (a21 * a33 - a23 * a31) + a13 * (a21 * a32 - a22 * a31);
    };
    const double det = det3(s0, sl, st, sl, sll, slt, st, slt, stt);
    HugershoffStart h;
    if (s0 >= 3.0 && det != 0.0 && std::isfinite(det)) {
        const double alpha = det3(sy, sl, st, sly, sll, slt, sty, slt, stt) / det;
        const double q = det3(s0, sy, st, sl, sly, slt, st, sty, stt) / det;
        const double b = det3(s0, sl, sy, sl, sll, sly, st, slt, sty) / det;
        h.a = static_cast<float>(std::exp(alpha));
        h.power = static_cast<float>(q);
        h.rate = static_cast<float>(b);
    } else {
        // Fewer than three usable points: the three coefficients are not determined. Start
        // from a flat curve at the geometric mean (rescaled below to the data's sum).
        h.a = s0 > 0.0 ? static_cast<float>(std::exp(sy / s0)) : 1.0f;
        h.power = 0.0f;
        h.rate = 0.0f;
    }
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const float ti = static_cast<float>(i + 1);
        curve[i] = h.a * std::pow(ti, h.power) * std::exp(h.rate * ti);
    }
    // Rescale so that the curve has the same sum as the data over the values present.
    double sum_y = 0.0, sum_c = 0.0;
    for (std::size_t i = 0; i < n && i < curve.size(); ++i) {
        if (y[i] == missing) continue;
        sum_y += y[i];
        sum_c += curve[i];
    }
    if (sum_c != 0.0) {
        const float ratio = static_cast<float>(sum_y / sum_c);
        if (ratio != 0.0f && std::isfinite(ratio)) {
            h.a *= ratio;
            for (float& c : curve) c *= ratio;
        }
    }
    return h;
}

GeneralExpStart gexp(std::span<const float> y, std::span<float> curve, float missing) {
    const std::size_t n = y.size();
    if (n < 1) {
        fatal_stop({{}, {"*** n .le. 0 in sbr gexp ***"}, {}});
    }
    std::vector<double> pos, z;
    pos.reserve(n);
    z.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!(y[i] > 0.0f) || y[i] == missing) continue;
        const double x = static_cast<double>(i + 1);
        pos.push_back(x);
        z.push_back(std::log(static_cast<double>(y[i])) - std::log(x));
    }
    if (pos.empty()) {
        fatal_stop({{}, {"*** n1 .le. 0 in sbr gexp ***"}, {}});
    }
    const double m = static_cast<double>(pos.size());
    double mx = 0.0, mz = 0.0;
    for (std::size_t k = 0; k < pos.size(); ++k) {
        mx += pos[k];
        mz += z[k];
    }
    mx /= m;
    mz /= m;
    double sxx = 0.0, sxz = 0.0;
    for (std::size_t k = 0; k < pos.size(); ++k) {
        sxx += (pos[k] - mx) * (pos[k] - mx);
        sxz += (pos[k] - mx) * (z[k] - mz);
    }
    // Slope of z on i (correlation × sd(z)/sd(i) written without the two square roots, so a
    // constant z gives slope 0 rather than 0/0); one usable point has no slope.
    const double gamma = sxx > 0.0 ? sxz / sxx : 0.0;
    GeneralExpStart g;
    g.a = static_cast<float>(std::exp(mz - gamma * mx));
    g.decay = static_cast<float>(-gamma);
    const float gf = static_cast<float>(gamma);
    for (std::size_t i = 0; i < curve.size(); ++i) {
        const float x = static_cast<float>(i + 1);
        curve[i] = x * g.a * std::exp(gf * x);
    }
    return g;
}

GrowthFit fit_growth_curve(int code, std::span<const float> y, std::span<float> curve,
                           std::span<float> record, Notices& notices) {
    assert(record.size() >= 7 && curve.size() >= y.size());
    std::fill(record.begin(), record.begin() + 7, 0.0f);
    const std::size_t n = y.size();
    std::vector<float> t(n);
    for (std::size_t i = 0; i < n; ++i) t[i] = static_cast<float>(i + 1);

    Simplex simplex;
    int model = 0;
    switch (code) {
        case 3: model = kNegExpModel; break;
        case 7: {
            model = kHugershoffModel;
            const HugershoffStart h = hughdi(t, y, curve, 0.0f);
            simplex.vertex[0] = {h.a, h.power, h.rate, 0.0f, 0.0f};
            break;
        }
        case 8: {
            model = kGeneralExpModel;
            const GeneralExpStart g = gexp(y, curve, 0.0f);
            // The decay rate (positive for decay) enters as the rate coordinate as it is: the
            // simplex starts on the rising side and searches across to the decaying curve, which
            // explores the shift better than starting at the log-linear fit itself.
            simplex.vertex[0] = {g.a, g.decay, 0.0f, 0.0f, 0.0f};
            break;
        }
        default: throw NumericFailure("no simplex growth function for curve option " + std::to_string(code));
    }

    GrowthFit fit;
    fit.sum_of_squares = gamoeba(simplex, model, {t, y}, curve, fit.evaluations, notices);
    const GrowthParameters g = unpack_growth(model, simplex.vertex[0]);
    fit.decays = g.rate < 0.0f;
    record[0] = g.a;
    switch (code) {
        case 3:
            record[1] = std::fabs(g.rate);
            record[2] = 0.0f;
            record[4] = g.asymptote;
            record[5] = 0.0f;
            break;
        case 7:
            record[1] = g.power;
            record[2] = std::fabs(g.rate);
            record[4] = g.asymptote;
            record[5] = g.shift;
            record[6] = 7.0f;
            break;
        case 8:
            record[1] = 1.0f;
            record[2] = std::fabs(g.rate);
            record[4] = g.asymptote;
            record[5] = g.shift;
            record[6] = 8.0f;
            break;
    }
    return fit;
}

}  // namespace kestrovan
