// The solution against the mathematics, and the march and the search where the program's own
// run does not reach.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "kernels/kernels.h"
#include "output/output.h"
#include "solver/solver.h"
#include "testdir.h"

namespace eigenshoot {
namespace {

// The results against the mathematics of y'' = -E y, y(x0) = 0, y(x0 + L) = 0, L = npts h,
// apart from any reference file and from the program's quadrature: the eigenvalues
// (n pi / L)^2, and eigenfunctions that are the sines sin(n pi t / L), t = x - x0, at unit norm
// over the samples (qb - qa long, from t = h, where the first sample belongs), each with n - 1
// sign changes. The squares of the normalized samples integrate to 1 under the trapezoidal
// rule, which the program does not use: a constant or a rule off by more than the Simpson-type
// rule's shortfall (up to 7e-7 here) fails.
TEST(Solution, AgreesWithTheMathematics) {
  testdir dir;
  openunit(1, (dir.path / "log").string().c_str());
  const double L = npts * h, pi = std::numbers::pi, span = qb - qa;
  for (int n = 1; n <= neig; ++n) {
    cts.E = secant(n, guess1[n - 1], guess2[n - 1]);
    EXPECT_NEAR(cts.E, (n * pi / L) * (n * pi / L), 1e-5);
    shoot(n);
    const double c = normalize(n), a = n * pi / L;
    const double unit =
        1.0 / std::sqrt(span / 2 - (std::sin(2 * a * (h + span)) - std::sin(2 * a * h)) / (4 * a));
    double trapezoid = 0.0;
    int changes = 0;
    for (int k = 1; k <= npts; ++k) {
      EXPECT_NEAR(psi(n, k) * c, unit * std::sin(a * k * h), 1e-6) << n << ", " << k;
      const double square = (psi(n, k) * c) * (psi(n, k) * c);
      trapezoid += (k == 1 || k == npts ? 0.5 : 1.0) * square * h;
      changes += k > 1 && k < npts && std::signbit(psi(n, k)) != std::signbit(psi(n, k - 1));
    }
    EXPECT_NEAR(trapezoid, 1.0, 1e-6) << n;
    EXPECT_EQ(changes, n - 1);
  }
  closeunit(1);
}

TEST(March, RecordsOnlyRowsThatExist) {
  cts.E = 39.3;
  EXPECT_TRUE(shoot(2) == shoot() && psi(2, npts) == shoot());  // recording changes nothing
  EXPECT_THROW(shoot(4), std::invalid_argument);
  EXPECT_THROW(shoot(1, npts + 1), std::invalid_argument);
}

// A search that cannot go on stops with a diagnostic naming the eigenvalue and the pass.
TEST(Search, DegenerateSearchesStop) {
  testdir dir;
  openunit(1, (dir.path / "log").string().c_str());
  // clang-format off
  const struct { double ea, eb; int passes; const char* what; } rows[] = {
      // clang-format on
      {20.0, 20.0, maxpasses, "eigenvalue 2, pass 1: secant step undefined"},
      {1e308, 1.5e308, maxpasses, "eigenvalue 2, pass 1: residual is not finite"},
      {20.1094, 20.1104, maxpasses, "eigenvalue 2, pass 1: residual is not finite"},
      {-5.08e5, -5.07e5, maxpasses, "eigenvalue 2, pass 1: secant estimate is not finite"},
      {9.5, 9.6, 2, "eigenvalue 2, pass 2: no convergence"},
  };
  for (const auto& r : rows) {
    try {
      secant(2, r.ea, r.eb, r.passes);
      ADD_FAILURE() << r.what;
    } catch (const fatalerror& failure) {
      EXPECT_TRUE(std::string(failure.what()).starts_with(r.what)) << failure.what();
    }
  }
  closeunit(1);
}

}  // namespace
}  // namespace eigenshoot
