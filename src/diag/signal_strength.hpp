#pragma once
// How well the chronology of each year stands for the population's signal, from the whole
// chronology's mean inter-series correlation r̄ and the number of trees present in the year:
//
//   EPS(t) = n(t)·r̄ / (1 + (n(t) − 1)·r̄)
//   SSS(t) = n(t)·(1 + (N − 1)·r̄) / (N·(1 + (n(t) − 1)·r̄))   (Wigley, Briffa & Jones 1984)
//
// with n(t) the trees (series, without tree identifiers) that have a value in year t and N those
// of the whole chronology. SSS is the EPS of the year's subsample over the EPS of the whole set:
// 1 where every tree is present. The year from which a chronology can be trusted is the first
// from which the figure stays at or above a threshold (0.85 by custom).
#include <optional>
#include <span>
#include <vector>

#include "model/year_matrix.hpp"

namespace kestrovan {

inline constexpr float kDefaultEpsThreshold = 0.85f;

// The trees with a value in each year of `indices` (calendar rows × series; kMissing where a
// series has none): tree[i] is series i's tree (any numbering, equal numbers one tree); an empty
// `tree` counts every series as a tree.
std::vector<int> trees_by_year(const YearMatrix& indices, std::span<const int> tree);

// EPS(t) and SSS(t) per year; kMissing where a year has no tree or r̄ is undefined (not above −1,
// or not finite). `trees` is the N of the formula.
std::vector<float> eps_by_year(std::span<const int> present, double rbar);
std::vector<float> sss_by_year(std::span<const int> present, int trees, double rbar);

// The first year from which `values` (per year from first_year) stay at or above `threshold`:
// the year after the last one below it, passing over years without a value (kMissing). None when
// the last year with a value is below the threshold, or no year has one.
std::optional<int> first_year_at_or_above(std::span<const float> values, float threshold, int first_year);

}  // namespace kestrovan
