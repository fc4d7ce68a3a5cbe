#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "kernels/kernels.h"
#include "solver/solver.h"

namespace {

bool identical(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Parameters, StepSplitsTheIntervalInto499) {
  EXPECT_TRUE(identical(h, 1.0 / 499.0));
  EXPECT_EQ(npts, 500);
}

TEST(March, FreeMotionIsLinear) {
  cts.E = 0.0;
  const double residual = shoot(1);
  EXPECT_NEAR(residual / (0.1 * 500 * h), 1.0, 1e-13);
  for (int k : {1, 2, 250, 499}) EXPECT_NEAR(psi(1, k), 0.1 * k * h, 1e-15) << k;
}

TEST(March, RepeatableAndRecordingChangesNothing) {
  cts.E = 39.3;
  const double plain = shoot();
  const double recorded = shoot(2);
  sampletable first = psi;
  EXPECT_TRUE(identical(shoot(2), plain));
  EXPECT_TRUE(identical(recorded, plain));
  EXPECT_TRUE(identical(psi(2, npts), plain));
  EXPECT_EQ(std::memcmp(first.data.data(), psi.data.data(), sizeof first.data), 0);
  EXPECT_EQ(cts.E, 39.3);
}

TEST(March, RecordsEachRowInItsOwnSlots) {
  cts.E = 9.83;
  shoot(1);
  cts.E = 88.47;
  shoot(3);
  EXPECT_GT(psi(1, 250), 0.0);  // eigenvalue 1 keeps its sign, eigenvalue 3 is negative mid-way
  EXPECT_LT(psi(3, 250), 0.0);
  EXPECT_EQ(&psi(2, 1) - &psi(1, 1), 1);  // the values of one position are adjacent
  EXPECT_EQ(&psi(1, 2) - &psi(1, 1), neig);
}

TEST(March, LongerMarchesAndBadRows) {
  cts.E = 0.0;
  EXPECT_NEAR(shoot(norecord, 5000), 0.1 * 5000 * h, 1e-12);
  EXPECT_THROW(shoot(4), std::invalid_argument);
  EXPECT_THROW(shoot(-1), std::invalid_argument);
  EXPECT_THROW(shoot(1, npts + 1), std::invalid_argument);
}

}  // namespace
