#include "curves/spline.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "model/notices.hpp"
#include "model/numeric_failure.hpp"

namespace kestrovan {

namespace {

constexpr double kPi = 3.1415926535897936;

// Wavelengths up to this value have their stiffness memoised in a caller's workspace: the engine
// fits the same wavelengths (start + i of the age-dependent spline) over and over, and the cosine
// is the dearest step of a fit. A workspace made for one call does not memoise.
constexpr int kStiffnessMemo = 2 * kMaxSplineLength + 200;

void check_length(int n) {
    if (n <= kMaxSplineLength) return;
    throw NumericFailure({{},
                          {"*** series too long for spline subroutine ***", 2},
                          {" *** enlarge mxy parameter in subroutine ***", 2},
                          {}},
                         false);
}

double stiffness_of(int wavelength, SplineWorkspace& ws) {
    if (wavelength < 1 || wavelength > kStiffnessMemo) return spline_stiffness(wavelength);
    auto& memo = ws.stiffness_by_wavelength;
    if (memo.empty()) memo.assign(kStiffnessMemo + 1, -1.0);  // -1: not computed yet (p >= 0)
    double& p = memo[static_cast<std::size_t>(wavelength)];
    if (p < 0.0) p = spline_stiffness(wavelength);
    return p;
}

// The last steps of a fit whose factor and forward substitution are in `ws` (m = n - 2 rows):
// the diagonal and back substitution L' gamma = D^-1 z in place, then the curve c = y - Q gamma.
void finish_spline(int n, std::span<const float> y, std::span<float> c, SplineWorkspace& ws) {
    const int m = n - 2;
    const double* reciprocal = ws.diag.data();  // 1 / d_j
    const double* l1 = ws.upper1.data();        // L[j][j-1]
    const double* l2 = ws.upper2.data();        // L[j][j-2]
    double* g = ws.rhs.data();

    for (int j = m - 1; j >= 0; --j) {
        double v = g[j] * reciprocal[j];
        if (j + 1 < m) v -= l1[j + 1] * g[j + 1];
        if (j + 2 < m) v -= l2[j + 2] * g[j + 2];
        g[j] = v;
    }

    // (Q gamma)_i = gamma_{i-2} - 2 gamma_{i-1} + gamma_i (zero outside).
    for (int i = 0; i < n; ++i) {
        const double g0 = i < m ? g[i] : 0.0;
        const double g1 = (i >= 1 && i - 1 < m) ? g[i - 1] : 0.0;
        const double g2 = (i >= 2 && i - 2 < m) ? g[i - 2] : 0.0;
        c[i] = static_cast<float>(static_cast<double>(y[i]) - (g2 - 2.0 * g1 + g0));
    }
}

// The solver's scratch, and whether the stiffnesses are memoised in it (a caller's workspace is
// memoised in, one made for a single call is not).
struct SolverScratch {
    SplineWorkspace& ws;
    bool memoise = false;
};

// Fits the spline to y[0..n-1] with the stiffness of interior row j (j = 0..n-3) given by
// wavelength_of(j), writing c[0..n-1] or a marker in c[0].
//
// The curve is c = y - Q gamma, where Q is the second-difference operator (n x (n-2)) and gamma
// solves (Q'Q + P R) gamma = Q'y; R is the tridiagonal (4/3, 1/3) matrix scaled per column by the
// stiffness p_j. The band matrix (diagonal 6 + 4/3 p, one above -4 + 1/3 p, two above 1) is
// factorised by banded Cholesky in double precision.
template <class WavelengthOf>
void solve_spline(int n, std::span<const float> y, std::span<float> c, WavelengthOf wavelength_of,
                  Notices& notices, SolverScratch scratch) {
    SplineWorkspace& ws = scratch.ws;
    const bool memoise = scratch.memoise;
    check_length(n);
    if (n < 4) {
        if (!c.empty()) c[0] = kSplineTooShort;
        return;
    }
    const int m = n - 2;
    const std::size_t sm = static_cast<std::size_t>(m);
    if (ws.diag.size() < sm) {
        ws.diag.resize(sm);
        ws.upper1.resize(sm);
        ws.upper2.resize(sm);
        ws.rhs.resize(sm);
    }
    // The factor is kept as U = sqrt(D) L' (L unit lower triangular with two bands below the
    // diagonal, D diagonal): the pivot d_j is the reduced diagonal s of the Cholesky step, and the
    // square roots cancel out of the solve, which leaves one division per row on the chain of
    // dependent operations.
    double* reciprocal = ws.diag.data();  // 1 / d_j
    double* l1 = ws.upper1.data();        // L[j][j-1]
    double* l2 = ws.upper2.data();        // L[j][j-2]
    double* g = ws.rhs.data();

    // Factorisation and forward substitution L z = b in one sweep: row j needs only rows j-1 and
    // j-2.
    const double tolerance_scale = 16.0 * static_cast<double>(m);
    double l1_previous = 0.0;
    int wavelength = 0;
    double p = 0.0;
    for (int j = 0; j < m; ++j) {
        // Runs of one wavelength (the whole series for a fixed one) share their stiffness.
        const int row_wavelength = wavelength_of(j);
        if (j == 0 || row_wavelength != wavelength) {
            wavelength = row_wavelength;
            p = memoise ? stiffness_of(wavelength, ws) : spline_stiffness(wavelength);
        }
        const double t = 6.0 + (4.0 / 3.0) * p;    // diagonal
        const double a1 = -4.0 + (1.0 / 3.0) * p;  // one above the diagonal, column j
        // The matrix entry two above the diagonal is 1, so L[j][j-2] d_{j-2} = 1.
        const double b2 = j >= 2 ? reciprocal[j - 2] : 0.0;
        const double x = a1 - l1_previous;  // L[j][j-1] d_{j-1}
        const double b1 = j >= 1 ? x * reciprocal[j - 1] : 0.0;
        const double s = t - (j >= 1 ? b1 * x : 0.0) - b2;
        // Not positive definite when the reduced diagonal is not a usable fraction of the
        // original; written so that a NaN (an unusable stiffness) fails the same way.
        if (!(t + s / tolerance_scale > t)) {
            notices.line(">> sbr spline: matrix not positive definite");
            c[0] = kSplineNotPositiveDefinite;
            return;
        }
        reciprocal[j] = 1.0 / s;
        l1[j] = b1;
        l2[j] = b2;
        l1_previous = b1;
        // Right-hand side: second differences of the data.
        double v =
            static_cast<double>(y[j]) - 2.0 * static_cast<double>(y[j + 1]) + static_cast<double>(y[j + 2]);
        if (j >= 1) v -= b1 * g[j - 1];
        if (j >= 2) v -= b2 * g[j - 2];
        g[j] = v;
    }
    finish_spline(n, y, c, ws);
}

// How many times the depth of a fall the rise after it may be taken off. The bound keeps the
// correction continuous where a fall fades to nothing (a fit that rises all the way is taken as it
// is); it is wide enough that a tail rising from a real minimum is brought down whole.
constexpr float kRiseToFall = 10.0f;

// The lasting rise of a fit (see age_dependent_spline) into ws.tail_rise[0..n-1]; true when it
// is above 0 anywhere. Each point j up to i offers min(a_j, S[i] - fit[j]) with a_j = kRiseToFall
// F[j]: a ramp in S[i] that stops growing at S[i] = a_j + fit[j]. S[i] never falls as i grows, so
// a point whose ramp has stopped stays stopped: the stopped points give the largest a_j, the
// others S[i] less their lowest fit, each kept in a heap (n log n in all).
bool lasting_rise(int n, std::span<const float> fit, SplineWorkspace& ws) {
    const std::size_t sn = static_cast<std::size_t>(n);
    for (auto* v : {&ws.tail_rise, &ws.rise_caps}) v->resize(std::max(v->size(), sn));
    std::span<float> rise(ws.tail_rise.data(), sn);
    std::span<float> cap(ws.rise_caps.data(), sn);
    const auto at = [](std::span<const float> v, int k) { return v[static_cast<std::size_t>(k)]; };
    const int window = (n + 9) / 10;  // the first point i with 10 i >= n
    float after = fit[sn - 1];
    for (int i = n - 1; i >= window; --i)
        rise[static_cast<std::size_t>(i)] = after = std::min(after, at(fit, i));
    std::fill(rise.begin(), rise.begin() + window, 0.0f);

    std::vector<int>& by_stop = ws.rise_stops;    // ramps still growing, the soonest to stop on top
    std::vector<int>& by_level = ws.rise_levels;  // ramps by their fit, the lowest on top (lazily)
    by_stop.clear();
    by_level.clear();
    const auto stop_of = [&](int k) { return cap[static_cast<std::size_t>(k)] + at(fit, k); };
    const auto later_stop = [&](int a, int b) { return stop_of(a) > stop_of(b); };
    const auto higher = [&](int a, int b) { return at(fit, a) > at(fit, b); };
    float highest = at(fit, window);
    float stopped = 0.0f;  // the largest a_j of the stopped ramps
    bool any = false;
    for (int i = window; i < n; ++i) {
        highest = std::max(highest, at(fit, i));
        cap[static_cast<std::size_t>(i)] = kRiseToFall * (highest - at(fit, i));
        by_stop.push_back(i);
        std::push_heap(by_stop.begin(), by_stop.end(), later_stop);
        by_level.push_back(i);
        std::push_heap(by_level.begin(), by_level.end(), higher);
        const float lowest_after = at(rise, i);
        while (!by_stop.empty() && stop_of(by_stop.front()) <= lowest_after) {
            stopped = std::max(stopped, at(cap, by_stop.front()));
            std::pop_heap(by_stop.begin(), by_stop.end(), later_stop);
            by_stop.pop_back();
        }
        while (!by_level.empty() && stop_of(by_level.front()) <= lowest_after) {
            std::pop_heap(by_level.begin(), by_level.end(), higher);
            by_level.pop_back();
        }
        float r = stopped;
        if (!by_level.empty()) r = std::max(r, lowest_after - at(fit, by_level.front()));
        rise[static_cast<std::size_t>(i)] = r;
        any = any || r > 0.0f;
    }
    return any;
}

}  // namespace

double spline_stiffness(int wavelength) {
    const double omega = 2.0 * kPi / static_cast<double>(wavelength);
    const double cw = std::cos(omega);
    return 6.0 * (cw - 1.0) * (cw - 1.0) / (cw + 2.0);
}

float spline(int n, std::span<const float> y, std::span<float> c, int wavelength, Notices& notices,
             SplineWorkspace* workspace) {
    SplineWorkspace local;
    SplineWorkspace& ws = workspace ? *workspace : local;
    solve_spline(n, y, c, [wavelength](int) { return wavelength; }, notices, {ws, workspace != nullptr});
    return static_cast<float>(spline_stiffness(wavelength));
}

void spline1(int n, std::span<const float> y, std::span<float> c, int code, Notices& notices,
             SplineWorkspace* workspace) {
    SplineWorkspace local;
    SplineWorkspace& ws = workspace ? *workspace : local;
    const int base = code == 8 ? 20 : code;
    if (code == 9)
        solve_spline(n, y, c, [base, n](int j) { return std::min(base + j, n); }, notices,
                     {ws, workspace != nullptr});
    else
        solve_spline(n, y, c, [base](int) { return base; }, notices, {ws, workspace != nullptr});
}

void spline2(int n, std::span<const float> y, std::span<float> c, std::span<const int> wavelengths,
             Notices& notices, SplineWorkspace* workspace) {
    SplineWorkspace local;
    SplineWorkspace& ws = workspace ? *workspace : local;
    solve_spline(n, y, c, [wavelengths](int j) { return wavelengths[static_cast<std::size_t>(j)]; }, notices,
                 {ws, workspace != nullptr});
}

void lsmake(int n, int start, std::span<int> wavelengths) {
    for (int i = 0; i < n; ++i) wavelengths[static_cast<std::size_t>(i)] = start + i;
}

void age_dependent_spline(int n, std::span<const float> y, std::span<float> c, int start, Notices& notices,
                          SplineWorkspace* workspace) {
    SplineWorkspace local;
    SplineWorkspace& ws = workspace ? *workspace : local;
    check_length(n);
    if (n < 4) {
        if (!c.empty()) c[0] = kSplineTooShort;
        return;
    }
    const std::size_t sn = static_cast<std::size_t>(n);
    if (ws.wavelengths.size() < sn) ws.wavelengths.resize(sn);
    if (ws.first_fit.size() < sn) ws.first_fit.resize(sn);
    std::span<int> lengths(ws.wavelengths.data(), sn);
    std::span<float> fit(ws.first_fit.data(), sn);
    lsmake(n, start, lengths);

    spline2(n, y, fit, lengths, notices, &ws);
    if (curve_failed(fit)) {
        c[0] = fit[0];
        return;
    }

    // The end correction takes off the part of the fit's rise after a fall that the fit never
    // gives back, over the points from the end of its first tenth on: at point i, the rise r[i] is
    // the largest of 0 and min(10 F[j], S[i] - fit[j]) over the points j up to i, where F[j] is
    // how far the fit at j lies below its highest point up to j and S[i] is the lowest point from
    // i on. A tail that rises from a minimum to the last point is thereby brought down to the minimum;
    // a hump that the fit later falls back from is kept; a fit that rises all the way (any dip in
    // its first tenth) is taken as it is, since flattening it would leave the growth trend in the
    // indices. The rise depends continuously on the fit, so a ring that moves a little moves the
    // curve a little: a rule that walks back from the last point while the fit rises keeps a
    // rising tail whole when its last step dips by a hair and flattens it when that step rises.
    const bool rises = lasting_rise(n, fit, ws);
    if (!rises) {
        std::copy_n(fit.begin(), n, c.begin());
        return;
    }
    // The rise starts from 0 at a minimum of the fit, where the fit is level, so the curve turns
    // into its flat tail without a kink and is not smoothed again: a second smoothing would make
    // the young rings' part of the curve stiffer in the series whose tails rise, and only there.
    const float* rise = ws.tail_rise.data();
    for (std::size_t i = 0; i < sn; ++i) c[i] = fit[i] - rise[i];
}

}  // namespace kestrovan
