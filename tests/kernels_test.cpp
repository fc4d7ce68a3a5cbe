// The model, the Runge-Kutta step and the quadrature, where the program's own run does not reach.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "kernels/kernels.h"
#include "output/output.h"

namespace {

TEST(Step, SignOfTheSlopeAndStateSize) {
  double y[2] = {1.0, 0.0}, ynew[2];
  EXPECT_THROW(mirungekutta4(0.0, 0.1, y, 3, ynew), std::invalid_argument);
  // The slope negates the product rather than subtracting it from zero: -(0*1) is -0.0.
  cts.E = 0.0;
  derivad(0.0, y, ynew, 2);
  EXPECT_TRUE(std::signbit(ynew[1]));
}

// Integrates, capturing what the quadrature writes on standard output.
double integrate(int im, const std::vector<double>& f, std::string* printed = nullptr) {
  testing::internal::CaptureStdout();
  double result = -1.0;
  myintegrator(im, 0.0, 1.0, f.data(), static_cast<int>(f.size()), result);
  flushunit(6);
  const std::string out = testing::internal::GetCapturedStdout();
  if (printed != nullptr) *printed = out;
  return result;
}

TEST(Quadrature, TrapezoidalAndEdgeCases) {
  // Interior samples weigh one step, the two ends half a step each.
  EXPECT_DOUBLE_EQ(integrate(1, {1.0, 2.0, 4.0, 8.0, 16.0}), (2.0 + 4.0 + 8.0 + 8.5) * 0.25);
  // Two samples: the end terms alone; under the Simpson-type rule 5 * (1/3), one unit in the
  // last place below the correctly rounded 5/3.
  EXPECT_EQ(integrate(1, {2.0, 3.0}), 5.0 * 0.5);
  EXPECT_EQ(integrate(2, {2.0, 3.0}), 5.0 * (1.0 / 3.0));
  EXPECT_NE(integrate(2, {2.0, 3.0}), 5.0 / 3.0);

  std::string printed;
  EXPECT_EQ(integrate(3, {2.0, 3.0, 4.0, 5.0, 6.0}, &printed), 0.0);
  EXPECT_EQ(printed, " Valor IM no valid\n Valor IM no valid\n Valor IM no valid\n");
  for (int im : {1, 2, 3}) {  // no interval at all: zero, no message, no division by zero
    EXPECT_EQ(integrate(im, {7.0}, &printed), 0.0);
    EXPECT_EQ(printed, "");
  }
}

}  // namespace
