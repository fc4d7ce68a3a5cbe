#include <gtest/gtest.h>

#include <vector>

#include "kernels/kernels.h"
#include "output/output.h"

namespace {

double integrate(int im, double a, double b, const std::vector<double>& f, int npts) {
  double result = -1.0;
  myintegrator(im, a, b, f.data(), npts, result);
  return result;
}

TEST(Quadrature, TwoSamplesAreEndTermsOnly) {
  const std::vector<double> f = {2.0, 3.0};
  EXPECT_EQ(integrate(1, 0.0, 1.0, f, 2), 5.0 * 0.5);
  EXPECT_EQ(integrate(2, 0.0, 1.0, f, 2), 5.0 * (1.0 / 3.0));
  EXPECT_NE(integrate(2, 0.0, 1.0, f, 2), 5.0 / 3.0);  // one unit in the last place below
  EXPECT_EQ(integrate(2, 1.0, 4.0, f, 2), 5.0 * (3.0 / 3.0));
}

TEST(Quadrature, ConstantSamples) {
  const std::vector<double> ones(500, 1.0);
  const double hq = 1.0 / 499.0;
  EXPECT_NEAR(integrate(1, 0.0, 1.0, ones, 500), 1.0, 1e-13);
  EXPECT_NEAR(integrate(2, 0.0, 1.0, ones, 500), 1.0 - hq / 3.0, 1e-13);
}

// The Simpson-type weights, in thirds of a step, counted from position 1: 1, 2, 4, 2, 4, ...,
// 2, 4, 1. A unit sample at one position picks out its weight.
TEST(Quadrature, SimpsonWeightsByPosition) {
  const int npts = 500;
  const double hq = 1.0 / 499.0;
  const struct {
    int position;
    double thirds;
  } rows[] = {{1, 1}, {2, 2}, {3, 4}, {4, 2}, {250, 2}, {251, 4}, {498, 2}, {499, 4}, {500, 1}};
  for (const auto& r : rows) {
    std::vector<double> f(npts, 0.0);
    f[r.position - 1] = 1.0;
    EXPECT_NEAR(integrate(2, 0.0, 1.0, f, npts), r.thirds * hq / 3.0, 1e-17) << r.position;
    EXPECT_NEAR(integrate(1, 0.0, 1.0, f, npts),
                (r.position == 1 || r.position == npts ? 0.5 : 1.0) * hq, 1e-17);
  }
}

TEST(Quadrature, InvalidSelectorWritesOneMessagePerInteriorPosition) {
  const std::vector<double> f = {1.0, 2.0, 3.0, 4.0, 5.0};
  testing::internal::CaptureStdout();
  const double result = integrate(3, 0.0, 1.0, f, 5);
  flushunit(6);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " Valor IM no valid\n Valor IM no valid\n Valor IM no valid\n");
  EXPECT_EQ(result, 0.0);
}

TEST(Quadrature, FewerThanTwoSamplesGiveZeroAndNoMessage) {
  const std::vector<double> f = {7.0};
  for (int im : {1, 2, 3}) {
    for (int npts : {0, 1}) {
      testing::internal::CaptureStdout();
      const double result = integrate(im, 0.0, 1.0, f, npts);
      flushunit(6);
      EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
      EXPECT_EQ(result, 0.0);
    }
  }
}

}  // namespace
