// The model, the Runge-Kutta step and the quadrature.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "kernels/kernels.h"
#include "output/output.h"

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

// Integrates, capturing what the quadrature writes on standard output.
double integrate(int im, double b, const std::vector<double>& f, int npts,
                 std::string* printed = nullptr) {
  testing::internal::CaptureStdout();
  double result = -1.0;
  myintegrator(im, 0.0, b, f.data(), npts, result);
  flushunit(6);
  const std::string out = testing::internal::GetCapturedStdout();
  if (printed != nullptr) *printed = out;
  return result;
}

// A unit sample at one position picks out its weight: in thirds of a step 1, 2, 4, 2, 4, ...,
// 2, 4, 1 under the Simpson-type rule, one step (one half at the ends) under the trapezoidal.
TEST(Quadrature, WeightsByPosition) {
  const int npts = 500;
  const double hq = 1.0 / 499.0;
  const int thirds[][2] = {{1, 1}, {2, 2}, {3, 4}, {4, 2}, {251, 4}, {498, 2}, {499, 4}, {500, 1}};
  for (const auto& [position, weight] : thirds) {
    std::vector<double> f(npts, 0.0);
    f[position - 1] = 1.0;
    EXPECT_NEAR(integrate(2, 1.0, f, npts), weight * hq / 3.0, 1e-17) << position;
    EXPECT_NEAR(integrate(1, 1.0, f, npts), (weight == 1 ? 0.5 : 1.0) * hq, 1e-17) << position;
  }
}

TEST(Quadrature, EdgeCases) {
  const std::vector<double> f = {2.0, 3.0, 4.0, 5.0, 6.0};
  EXPECT_EQ(integrate(1, 1.0, f, 2), 5.0 * 0.5);  // two samples: the end terms alone
  EXPECT_EQ(integrate(2, 1.0, f, 2), 5.0 * (1.0 / 3.0));
  EXPECT_NE(integrate(2, 1.0, f, 2), 5.0 / 3.0);  // one unit in the last place below

  std::string printed;
  EXPECT_EQ(integrate(3, 1.0, f, 5, &printed), 0.0);
  EXPECT_EQ(printed, " Valor IM no valid\n Valor IM no valid\n Valor IM no valid\n");

  for (int im : {1, 2, 3}) {  // no interval at all: zero, no message, no division by zero
    for (int npts : {0, 1}) {
      EXPECT_EQ(integrate(im, 1.0, f, npts, &printed), 0.0);
      EXPECT_EQ(printed, "");
    }
  }
}

}  // namespace
