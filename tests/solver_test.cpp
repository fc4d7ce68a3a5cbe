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

// The results against the mathematics of y'' = -E y, y(0) = 0, y(L) = 0 on [0, L], L = npts h,
// apart from any reference file: the eigenvalues (n pi / L)^2, and eigenfunctions that are the
// sines sin(n pi x / L), at unit norm over [x0, xf], each with n - 1 sign changes, and whose
// squares integrate to 1 by the program's own rule.
TEST(Solution, AgreesWithTheMathematics) {
  testdir dir;
  openunit(1, (dir.path / "log").string().c_str());
  const double L = npts * h, pi = std::numbers::pi;
  for (int n = 1; n <= neig; ++n) {
    cts.E = secant(n, guess1[n - 1], guess2[n - 1]);
    EXPECT_NEAR(cts.E, (n * pi / L) * (n * pi / L), 1e-5);
    shoot(n);
    const double c = normalize(n);
    const double unit = 1.0 / std::sqrt(0.5 - L * std::sin(2 * n * pi / L) / (4 * n * pi));
    std::array<double, npts> squares;
    int changes = 0;
    for (int k = 1; k <= npts; ++k) {
      EXPECT_NEAR(psi(n, k) * c, unit * std::sin(n * pi * k * h / L), 1e-6) << n << ", " << k;
      squares[k - 1] = (psi(n, k) * c) * (psi(n, k) * c);
      changes += k > 1 && k < npts && std::signbit(psi(n, k)) != std::signbit(psi(n, k - 1));
    }
    double integral = 0.0;
    myintegrator(imeth, qa, qb, squares.data(), npts, integral);
    EXPECT_NEAR(integral, 1.0, 1e-12);
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
