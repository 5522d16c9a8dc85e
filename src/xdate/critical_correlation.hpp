#pragma once
// Critical values of a correlation coefficient under the null hypothesis of no correlation:
// with n pairs, t = r sqrt(n − 2) / sqrt(1 − r²) follows Student's t with n − 2 degrees of
// freedom, so the one-tailed critical r at level p is t_p / sqrt(t_p² + n − 2).

namespace kestrovan {

// The regularized incomplete beta function I_x(a, b) for a, b > 0 and 0 <= x <= 1 (continued
// fraction, Lentz's method); NaN outside that domain.
double regularized_incomplete_beta(double a, double b, double x);

// P(T <= t) for Student's t with `df` > 0 degrees of freedom.
double student_t_cdf(double t, double df);

// The t with P(T <= t) = p, for 0 < p < 1 and df > 0 (bisection on the distribution function,
// to the last bits of a double); NaN outside that domain.
double student_t_quantile(double p, double df);

// The smallest r that is significant one-tailed at `level` (for example 0.99) with n pairs;
// NaN for n < 3 or a level outside (0, 1).
double critical_correlation(int n, double level);

}  // namespace kestrovan
