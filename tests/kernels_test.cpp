#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "kernels/kernels.h"

namespace {

struct withE {
  explicit withE(double e) { cts.E = e; }
  ~withE() { cts.E = 0.0; }
};

TEST(Model, SlopeIsDerivativeAndNegatedProduct) {
  withE e(2.0);
  const double y[2] = {3.0, 5.0};
  double dydx[2];
  derivad(0.7, y, dydx, 2);
  EXPECT_EQ(dydx[0], 5.0);
  EXPECT_EQ(dydx[1], -6.0);

  // The product is negated, not subtracted from zero: -(0*1) is a negative zero.
  cts.E = 0.0;
  const double one[2] = {1.0, 0.0};
  derivad(0.0, one, dydx, 2);
  EXPECT_TRUE(std::signbit(dydx[1]));
}

TEST(Step, ExactCases) {
  struct row {
    double E, h, y1, y2, want1, want2;
  };
  const row rows[] = {
      {0.0, 0.5, 0.0, 1.0, 0.5, 1.0},   // free motion: y2 carried over unchanged
      {7.0, 0.25, 0.0, 0.0, 0.0, 0.0},  // the zero state stays at rest
      {-40.0, 3.0, 0.0, 0.0, 0.0, 0.0},
  };
  for (const row& r : rows) {
    withE e(r.E);
    const double x = 0.125, y[2] = {r.y1, r.y2};
    double ynew[2];
    mirungekutta4(x, r.h, y, 2, ynew);
    EXPECT_EQ(ynew[0], r.want1);
    EXPECT_EQ(ynew[1], r.want2);
    EXPECT_EQ(y[0], r.y1);  // the input state, E and x are left alone
    EXPECT_EQ(y[1], r.y2);
    EXPECT_EQ(cts.E, r.E);
    EXPECT_EQ(x, 0.125);
  }
}

// For y'' = -E*y one classical Runge-Kutta step is the Taylor polynomial of degree four of the
// exact propagator, z = E*h*h: y1' = (1 - z/2 + z^2/24) y1 + h (1 - z/6) y2 and
// y2' = -E h (1 - z/6) y1 + (1 - z/2 + z^2/24) y2. A wrong weight or stage shows at once.
TEST(Step, IsFourthOrderTaylorPropagator) {
  const double cases[][4] = {
      {9.83, 1.0 / 499.0, 0.3, -1.2}, {88.5, 0.01, -0.7, 0.1}, {-25.0, 0.05, 1.0, 2.0}};
  for (const auto& c : cases) {
    withE e(c[0]);
    const double h = c[1], y[2] = {c[2], c[3]}, z = c[0] * h * h;
    const double a = 1 - z / 2 + z * z / 24, b = 1 - z / 6;
    double ynew[2];
    mirungekutta4(0.0, h, y, 2, ynew);
    EXPECT_NEAR(ynew[0], a * y[0] + h * b * y[1], 1e-14);
    EXPECT_NEAR(ynew[1], -c[0] * h * b * y[0] + a * y[1], 1e-14);
  }
}

TEST(Step, NegativeEGrows) {
  withE e(-100.0);
  double y[2] = {0.0, 0.1}, ynew[2];
  for (int k = 0; k < 100; ++k) {
    mirungekutta4(0.0, 0.01, y, 2, ynew);
    y[0] = ynew[0];
    y[1] = ynew[1];
  }
  EXPECT_NEAR(y[0], 0.01 * std::sinh(10.0), 1e-4 * std::sinh(10.0) * 0.01);
}

TEST(Step, RejectsOtherStateSizes) {
  const double y[3] = {0.0, 1.0, 2.0};
  double ynew[3];
  EXPECT_THROW(mirungekutta4(0.0, 0.1, y, 3, ynew), std::invalid_argument);
  EXPECT_THROW(mirungekutta4(0.0, 0.1, y, 1, ynew), std::invalid_argument);
}

}  // namespace
