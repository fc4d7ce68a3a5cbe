#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "kernels/kernels.h"
#include "solver/solver.h"

namespace {

bool identical(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(March, FreeMotionIsLinearInSteps) {
  EXPECT_TRUE(identical(h, 1.0 / 499.0));
  cts.E = 0.0;
  EXPECT_NEAR(shoot(1) / (0.1 * 500 * h), 1.0, 1e-13);
  for (int k : {1, 2, 250, 499}) EXPECT_NEAR(psi(1, k), 0.1 * k * h, 1e-15) << k;
  EXPECT_NEAR(shoot(norecord, 5000), 0.1 * 5000 * h, 1e-12);
}

TEST(March, RepeatableAndRecordingChangesNothing) {
  cts.E = 39.3;
  const double plain = shoot();
  EXPECT_TRUE(identical(shoot(2), plain));
  const sampletable first = psi;
  EXPECT_TRUE(identical(shoot(2), plain));
  EXPECT_TRUE(identical(psi(2, npts), plain));
  EXPECT_EQ(std::memcmp(first.data.data(), psi.data.data(), sizeof first.data), 0);
  EXPECT_EQ(&psi(2, 1) - &psi(1, 1), 1);  // the values of one position are adjacent
  EXPECT_THROW(shoot(4), std::invalid_argument);
  EXPECT_THROW(shoot(1, npts + 1), std::invalid_argument);
}

}  // namespace
