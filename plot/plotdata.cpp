// What the pictures show, computed from a run's files: each eigenfunction at the positions its
// values belong to against the exact one of the marched problem, and the distance of each
// estimate from the exact eigenvalue, written as gnuplot's data blocks and variables.
#include "plot/plotdata.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <string_view>
#include <utility>

namespace eigenshoot {

namespace {

// Appends `numbers` printed by `layout` to gnuplot's input.
template <class... T>
void print(std::string& into, const char* layout, T... numbers) {
  char line[256];
  const int n = std::snprintf(line, sizeof line, layout, numbers...);
  into.append(line, static_cast<std::size_t>(n));
}

// The exact solution of the marched problem, y'' = -c^2 y from y = a and y' = b at t = 0
// (t = x - x0): a cos(c t) + (b / c) sin(c t). Its eigenvalue E = c^2 makes it vanish at t = L:
// with a = 0, c = n pi / L; else the root of a c cos(c L) + b sin(c L) that Newton's method
// finds from the computed estimate, the n-th root as the run checked it.
double exactroot(int n, double estimate, std::array<double, 2> start) {
  const double a = start[0], b = start[1], L = npts * h;
  if (a == 0.0) return n * std::numbers::pi / L;
  double c = std::sqrt(estimate);
  for (int step = 0; step < 100; ++step) {
    const double g = a * c * std::cos(c * L) + b * std::sin(c * L),
                 slope =
                     a * std::cos(c * L) - a * c * L * std::sin(c * L) + b * L * std::cos(c * L),
                 next = c - g / slope;
    if (!std::isfinite(next) || next == c) break;
    c = next;
  }
  return c;
}

}  // namespace

std::string plotdata(const runfiles& run, std::array<double, 2> start) {
  std::string eigen, passes, guesses, numbers;
  const double L = npts * h, span = qb - qa, a = start[0], t1 = h, t2 = h + span;
  std::size_t most = 0;
  for (int i = 1; i <= neig; ++i) {
    const eigenblock& block = run.blocks[static_cast<std::size_t>(i - 1)];
    const searchpasses& search = run.searches[static_cast<std::size_t>(i - 1)];
    const double c = exactroot(i, block.E, start), exact = c * c, b = start[1] / c;
    // a cos(c t) + b sin(c t) at unit norm over the samples of the normalization: qb - qa long,
    // from t = h, where the first value belongs. Its square integrates to
    // a^2 (t/2 + s) + b^2 (t/2 - s) - a b cos(2 c t) / (2 c), s = sin(2 c t) / (4 c).
    const auto integral = [&](double t) {
      const double s = std::sin(2 * c * t) / (4 * c);
      return a * a * (t / 2 + s) + b * b * (t / 2 - s) - a * b * std::cos(2 * c * t) / (2 * c);
    };
    const double unit = 1.0 / std::sqrt(integral(t2) - integral(t1));
    for (int k = 1; k <= npts; ++k) {
      const double v = block.value[static_cast<std::size_t>(k - 1)],
                   f = unit * (a * std::cos(c * k * h) + b * std::sin(c * k * h));
      print(eigen, "%.17g %.17g %.17g %.17g\n", x0 + k * h, v, f, v - f);
    }
    eigen += "\n\n";
    for (std::size_t m = 1; m <= search.estimate.size(); ++m)
      print(passes, "%zu %.17g\n", m, std::abs(search.estimate[m - 1] - exact));
    passes += "\n\n";
    print(guesses, "0 %.17g\n0 %.17g\n\n\n",
          std::abs(guess1[static_cast<std::size_t>(i - 1)] - exact),
          std::abs(guess2[static_cast<std::size_t>(i - 1)] - exact));
    print(numbers, "E%d = %.17g; exact%d = %.17g\n", i, block.E, i, exact);
    most = std::max(most, search.estimate.size());
  }
  print(numbers, "n = %d; h = %.17g; L = %.17g; neig = %d; most = %zu; tol = %.17g\n", npts, h, L,
        neig, most, tol);
  print(numbers, "x0 = %.17g; qa = %.17g; qb = %.17g; start = %.17g; slope = %.17g\n", x0, qa, qb,
        start[0], start[1]);
  for (auto [name, set] :
       {std::pair{"$eigen", &eigen}, {"$passes", &passes}, {"$guesses", &guesses}})
    numbers.append(name).append(" << EOD\n").append(*set).append("EOD\n");
  return numbers;
}

}  // namespace eigenshoot
