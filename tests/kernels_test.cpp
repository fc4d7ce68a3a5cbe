// The Runge-Kutta step and the quadrature, where the mathematics says what they must give and
// where the program's own run does not reach.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernels/kernels.h"

namespace eigenshoot {
namespace {

// With E = 0 the second component of every slope is zero and the first is y2, so a step from
// (0, 1) of length 0.5 is exact: (0.5, 1.0). The model has two components and no other size.
TEST(Step, ExactWithoutCurvature) {
  cts.E = 0.0;
  const double y[2] = {0.0, 1.0};
  double ynew[2];
  mirungekutta4(0.0, 0.5, y, 2, ynew);
  EXPECT_TRUE(ynew[0] == 0.5 && ynew[1] == 1.0);
  EXPECT_THROW(mirungekutta4(0.0, 0.5, y, 3, ynew), std::invalid_argument);
}

// Integrates over [1, 2], an interval of unit length that does not start at 0, keeping what
// the quadrature tells, a line for each message.
std::string told;
double integrate(int im, const std::vector<double>& f, std::string* printed = nullptr) {
  told.clear();
  quadraturemessages([](std::string_view message) { (told += message) += '\n'; });
  double result = -1.0;
  myintegrator(im, 1.0, 2.0, f.data(), static_cast<int>(f.size()), result);
  if (printed != nullptr) *printed = told;
  return result;
}

TEST(Quadrature, WeightsAndEdgeCases) {
  // Interior samples weigh one step, the two ends half a step each. Under the Simpson-type
  // rule, laid over an odd number of intervals without an end correction, a constant falls
  // short by a third of a step.
  EXPECT_DOUBLE_EQ(integrate(1, {1.0, 2.0, 4.0, 8.0, 16.0}), (2.0 + 4.0 + 8.0 + 8.5) * 0.25);
  EXPECT_NEAR(integrate(2, std::vector<double>(500, 1.0)), 1.0 - 1.0 / 499 / 3, 1e-14);
  // Two samples: the end terms alone; under the Simpson-type rule 5 * (1/3), one unit in the
  // last place below the correctly rounded 5/3.
  EXPECT_EQ(integrate(1, {2.0, 3.0}), 5.0 * 0.5);
  EXPECT_EQ(integrate(2, {2.0, 3.0}), 5.0 * (1.0 / 3.0));

  std::string printed;
  EXPECT_EQ(integrate(3, {2.0, 3.0, 4.0, 5.0, 6.0}, &printed), 0.0);
  EXPECT_EQ(printed, "Valor IM no valid\nValor IM no valid\nValor IM no valid\n");
  for (int im : {1, 2, 3}) {  // no interval at all: zero, no message, no division by zero
    EXPECT_EQ(integrate(im, {7.0}, &printed), 0.0);
    EXPECT_EQ(printed, "");
  }
}

}  // namespace
}  // namespace eigenshoot
