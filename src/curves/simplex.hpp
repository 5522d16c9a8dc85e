#pragma once
// Nonlinear growth functions fitted by least squares with the Nelder–Mead downhill simplex.
//
// One model of the position t = 1, 2, ...:
//     f(t) = A·(t + P)^q·exp(B·(t + P)) + D       (a decaying curve has B < 0)
// with three variants that free some parameters (vector order in brackets):
//     model 1, general negative exponential  [A, B, D]        q = 0, P = 0   (regional code 3)
//     model 2, general exponential, power 1  [A, B, P, D]     q = 1          (regional code 8)
//     model 3, Hugershoff                    [A, q, B, P, D]                 (regional code 7)
// The shift P of models 2 and 3 is kept non-negative: a trial point with P ≤ 0 is evaluated
// (and stored) with P = 0.
#include <array>
#include <cstddef>
#include <functional>
#include <span>

namespace kestrovan {

class Notices;

inline constexpr int kNegExpModel = 1;
inline constexpr int kGeneralExpModel = 2;
inline constexpr int kHugershoffModel = 3;

inline constexpr int kSimplexVertices = 6;
inline constexpr int kSimplexCoordinates = 5;
inline constexpr int kSimplexMaxEvaluations = 2000;
inline constexpr std::size_t kSimplexMaxValues = 5000;
inline constexpr float kSimplexTolerance = 1e-5f;

// The simplex: vertices (only the first free+1 are used, each with its first `free` coordinates)
// and the objective value at each vertex.
struct Simplex {
    std::array<std::array<float, kSimplexCoordinates>, kSimplexVertices> vertex{};
    std::array<float, kSimplexVertices> value{};
    int free = 0;  // number of free parameters (dimension of the search)
};

// The function minimised: parameter vector (first `free` coordinates) -> value.
using SimplexObjective = std::function<float(std::span<const float>)>;

// Zero-based coordinate of the shift P in a model's vector, or −1 when the model has no shift.
int shift_coordinate(int model);

// The objective: residual sum of squares of the model over the n = y.size() points at positions t
// (accumulated in double precision, returned in single). Fatal (NumericFailure: its message, then
// a wait) with more than 5000 values or a non-positive t + P.
float gamoff(std::span<const float> params, std::span<const float> t, std::span<const float> y, int model);

// One trial move of vertex `worst` through the centroid of the others by `factor` (−1 reflect,
// 2 expand, 0.5 contract). The trial point's shift coordinate (if any, ≥ 0) is set to 0 when not
// positive before evaluation. The vertex (and psum, the coordinate sums) is replaced when the
// trial is better. Returns the trial value.
float ametry(Simplex& simplex, std::span<float> psum, int worst, float factor,
             const SimplexObjective& objective, int shift);

// Nelder–Mead minimisation of an evaluated simplex to the fractional tolerance. On convergence
// the best vertex is vertex 0. At 2000 evaluations records "itmax exceeded in amoeba" as a pause
// (the caller prints it and waits for RETURN) and returns with the best vertex found moved to vertex 0.
// Returns the evaluation count.
int amoeba(Simplex& simplex, float tolerance, const SimplexObjective& objective, int shift, Notices& notices);

// The points a growth function is fitted to: positions t and values y.
struct GrowthPoints {
    std::span<const float> t, y;
};

// Fit driver: vertex 0 of `simplex` holds the starting point; the other vertices come from the
// starting-simplex table of the model. Minimises gamoff over the points, leaves the result in
// vertex 0, writes the fitted curve at t = 1..curve.size() and returns its sum of squares.
// evaluations receives the evaluation count.
float gamoeba(Simplex& simplex, int model, GrowthPoints points, std::span<float> curve, int& evaluations,
              Notices& notices);

// Parameters of a model's vector, unpacked.
struct GrowthParameters {
    float a = 0.0f;          // amplitude A
    float power = 0.0f;      // power q
    float rate = 0.0f;       // rate B (negative for decay)
    float shift = 0.0f;      // shift P
    float asymptote = 0.0f;  // D
};
GrowthParameters unpack_growth(int model, std::span<const float> vertex);

// Hugershoff starting values: log-linear least squares of ln y on ln t and t over the points with
// y > 0, t > 0 and y != missing; the curve A·t^q·exp(B·t) at t = 1..curve.size(), rescaled (with A)
// to the sum of the data.
struct HugershoffStart {
    float a = 0.0f;
    float power = 0.0f;
    float rate = 0.0f;
};
HugershoffStart hughdi(std::span<const float> t, std::span<const float> y, std::span<float> curve,
                       float missing);

// General-exponential starting values: regression of ln y_i − ln i on i over the points with
// y > 0 and y != missing (i = 1, 2, ...); the curve i·A·exp(γ·i) at i = 1..curve.size().
// Returns A and the decay rate −γ (positive for decay). Fatal (NumericFailure: its message, then a
// wait) with no values or no usable value.
struct GeneralExpStart {
    float a = 0.0f;
    float decay = 0.0f;
};
GeneralExpStart gexp(std::span<const float> y, std::span<float> curve, float missing);

// The regional curve fits by simplex (codes 3, 7 and 8) as the dispatch uses them: fits y (n
// values, positions 1..n), writes curve (N = curve.size() ≥ n values) and the fit-parameter record
// (seven values, zeroed first):
//   code 3: 1 = A, 2 = |B|, 3 = 0, 5 = D, 6 = 0            (record positions counted from 1)
//   code 7: 1 = A, 2 = q, 3 = |B|, 5 = D, 6 = P, 7 = 7.0
//   code 8: 1 = A, 2 = 1.0, 3 = |B|, 5 = D, 6 = P, 7 = 8.0
// For code 3, decays is false when the fitted rate B ≥ 0: the caller then replaces the curve and
// the record by the straight line and reports code 4. For codes 7 and 8 decays reports B < 0 only.
struct GrowthFit {
    bool decays = false;
    float sum_of_squares = 0.0f;
    int evaluations = 0;
};
GrowthFit fit_growth_curve(int code, std::span<const float> y, std::span<float> curve,
                           std::span<float> record, Notices& notices);

}  // namespace kestrovan
