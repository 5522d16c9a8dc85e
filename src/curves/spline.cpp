#include "curves/spline.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

    // Walk back from the last point while the fit rises (each point above the one before it);
    // m is the first point met that is not above its predecessor.
    int m = n - 1;
    while (m > 0 && fit[static_cast<std::size_t>(m)] > fit[static_cast<std::size_t>(m - 1)]) --m;

    // m == n - 1: no rising tail, the first fit is the curve. A turning point in the first tenth
    // of the series (m == 0 included: the fit rises at every step back to its first point) is no
    // minimum of the growth trend but the wobble of a curve that rises all the way: flattening
    // from there would replace nearly the whole curve by its lowest value, leave the growth trend
    // in the indices, and make the curve jump between rising and flat when one early ring moves
    // a little. Such a fit is taken as it is. Otherwise the rising tail after the minimum is
    // flattened at m and the corrected curve is smoothed again with the same wavelengths.
    if (m == n - 1 || 10 * m < n) {
        std::copy_n(fit.begin(), n, c.begin());
        return;
    }
    std::fill(fit.begin() + m + 1, fit.end(), fit[static_cast<std::size_t>(m)]);
    spline2(n, fit, c, lengths, notices, &ws);
}

}  // namespace kestrovan
