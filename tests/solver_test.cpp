// The march, the eigenvalue search and the eigenfunction stage.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "kernels/kernels.h"
#include "output/output.h"
#include "solver/solver.h"
#include "testdir.h"

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
  EXPECT_THROW(shoot(4), std::invalid_argument);
  EXPECT_THROW(shoot(1, npts + 1), std::invalid_argument);
}

// Each test runs in its own working directory, where the stages create their files.
class Stages : public testing::Test {
 protected:
  void SetUp() override { std::filesystem::current_path(dir.path); }
  void TearDown() override {
    closeunit(1);
    closeunit(2);
    std::filesystem::current_path(home);
  }
  std::filesystem::path home = std::filesystem::current_path();
  testdir dir;
};

// The searches end after 3, 2 and 2 passes at the values that make y1 vanish at 500 h, that is
// (n pi 499/500)^2 and not (n pi)^2; the last line of each block is the stored eigenvalue.
TEST_F(Stages, SearchFindsTheLowestEigenvaluesOfTheMarch) {
  eigensearch();
  const auto log = lines(slurp("Q7-2016-res.dat"));
  ASSERT_EQ(log.size(), 14u);
  std::string passes;
  for (const std::string& line : log) passes += line.empty() ? '.' : line[5];
  EXPECT_EQ(passes, "N123..12..12..");

  const std::size_t lastline[] = {3, 7, 11};
  for (int i = 1; i <= neig; ++i) {
    EXPECT_NEAR(eigen[i - 1], std::pow(i * std::numbers::pi * 499.0 / 500.0, 2), 1e-5);
    EXPECT_GT(std::abs(eigen[i - 1] - std::pow(i * std::numbers::pi, 2)), 1e-2);
    char record[80];
    const item converged[] = {std::stoi(log[lastline[i - 1]]), eigen[i - 1]};
    EXPECT_EQ(std::string(record, layout(record, format("(I6, 2X, F24.16)"), converged)),
              log[lastline[i - 1]]);
  }
}

TEST_F(Stages, DegenerateSearchesStopNamingTheEigenvalueAndPass) {
  openunit(1, "log");
  const struct {
    double ea, eb;
    int passes;
    const char* what;
  } rows[] = {
      {20.0, 20.0, maxpasses, "eigenvalue 2, pass 1: secant step undefined"},
      {1e308, 1.5e308, maxpasses, "eigenvalue 2, pass 1: residual is not finite"},
      {9.5, 9.6, 2, "eigenvalue 2, pass 2: no convergence"},
      {-5.08e5, -5.07e5, maxpasses, "eigenvalue 2, pass 1: secant estimate is not finite"},
  };
  for (const auto& r : rows) {
    try {
      secant(2, r.ea, r.eb, r.passes);
      ADD_FAILURE() << r.what;
    } catch (const fatalerror& failure) {
      EXPECT_TRUE(std::string(failure.what()).starts_with(r.what)) << failure.what();
    }
  }
}

// Each normalized eigenfunction has unit norm under the same rule, i - 1 sign changes over rows
// 1 to 499, and vanishes at the end of the march; its constant is printed on standard output.
TEST_F(Stages, EigenfunctionsAreNormalizedWithTheirNodes) {
  eigensearch();
  testing::internal::CaptureStdout();
  eigenfunctions();
  flushunit(6);
  const auto printed = lines(testing::internal::GetCapturedStdout());
  ASSERT_EQ(printed.size(), 3u);
  for (int i = 1; i <= neig; ++i) {
    EXPECT_EQ(std::stod(printed[i - 1]), norm[i - 1]);
    double g[npts], s = 0.0;
    int signchanges = 0;
    for (int k = 1; k <= npts; ++k) {
      g[k - 1] = std::pow(psi(i, k) * norm[i - 1], 2);
      if (k > 1 && k < npts && (psi(i, k) > 0) != (psi(i, k - 1) > 0)) ++signchanges;
    }
    myintegrator(2, 0.0, 1.0, g, npts, s);
    EXPECT_NEAR(s, 1.0, 1e-12);
    EXPECT_EQ(signchanges, i - 1);
    EXPECT_LT(std::abs(psi(i, npts) * norm[i - 1]), 1e-6);
  }
}

}  // namespace
