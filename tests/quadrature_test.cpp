#include <gtest/gtest.h>

#include <vector>

#include "kernels/kernels.h"
#include "output/output.h"

namespace {

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
