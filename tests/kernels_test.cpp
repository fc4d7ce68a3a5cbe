#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "kernels/kernels.h"

namespace {

// For y'' = -E*y one classical Runge-Kutta step is the degree-four Taylor polynomial of the
// exact propagator, z = E*h*h: y1' = (1 - z/2 + z^2/24) y1 + h (1 - z/6) y2 and
// y2' = -E h (1 - z/6) y1 + (1 - z/2 + z^2/24) y2. A wrong weight or stage shows at once.
TEST(Step, IsTheFourthOrderTaylorPropagator) {
  const double cases[][4] = {{9.83, 1.0 / 499.0, 0.3, -1.2},
                             {88.5, 0.01, -0.7, 0.1},
                             {-25.0, 0.05, 1.0, 2.0},
                             {0.0, 0.5, 0.0, 1.0}};
  for (const auto& [E, h, y1, y2] : cases) {
    cts.E = E;
    const double y[2] = {y1, y2}, z = E * h * h, a = 1 - z / 2 + z * z / 24, b = 1 - z / 6;
    double ynew[2];
    mirungekutta4(0.25, h, y, 2, ynew);
    EXPECT_NEAR(ynew[0], a * y1 + h * b * y2, 1e-14);
    EXPECT_NEAR(ynew[1], -E * h * b * y1 + a * y2, 1e-14);
    EXPECT_EQ(y[0], y1);  // the state and E are left alone
    EXPECT_EQ(cts.E, E);
  }
}

TEST(Step, SignOfTheSlopeAndStateSize) {
  double y[2] = {1.0, 0.0}, ynew[2];
  EXPECT_THROW(mirungekutta4(0.0, 0.1, y, 3, ynew), std::invalid_argument);
  // The slope negates the product rather than subtracting it from zero: -(0*1) is -0.0.
  cts.E = 0.0;
  derivad(0.0, y, ynew, 2);
  EXPECT_TRUE(std::signbit(ynew[1]));
}

}  // namespace
