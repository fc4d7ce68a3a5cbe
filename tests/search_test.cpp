#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "kernels/kernels.h"
#include "output/output.h"
#include "solver/solver.h"
#include "testdir.h"

namespace {

// Runs each test in its own working directory, where the stages create their files.
class Stages : public testing::Test {
 protected:
  void SetUp() override {
    home = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
  }
  void TearDown() override {
    closeunit(1);
    closeunit(2);
    std::filesystem::current_path(home);
  }
  testdir dir;
  std::filesystem::path home;
};

TEST_F(Stages, SearchFindsTheLowestEigenvaluesOfTheMarch) {
  eigensearch();
  const auto log = lines(slurp("Q7-2016-res.dat"));
  ASSERT_EQ(log.size(), 14u);
  const char* passes[] = {"     1", "     2", "     3", "",       "", "     1", "     2",
                          "",       "",       "     1", "     2", "", ""};
  for (std::size_t r = 0; r < 13; ++r) EXPECT_EQ(log[r + 1].substr(0, 6), passes[r]) << r;

  const format logpass("(I6, 2X, F24.16)");
  const std::size_t lastline[] = {3, 7, 11};
  for (int i = 1; i <= neig; ++i) {
    const double n = i, pi = std::numbers::pi;
    EXPECT_NEAR(eigen[i - 1], std::pow(n * pi * 499.0 / 500.0, 2), 1e-5);
    EXPECT_GT(std::abs(eigen[i - 1] - std::pow(n * pi, 2)), 1e-2);
    char record[40];
    const item converged[] = {std::stoi(log[lastline[i - 1]]), eigen[i - 1]};
    EXPECT_EQ(std::string(record, layout(record, logpass, converged)), log[lastline[i - 1]]);
  }
}

TEST_F(Stages, SecantFromGuessesAboveTheRootStillConverges) {
  openunit(1, "log");
  EXPECT_NEAR(secant(3, 88.5, 88.6), 88.47148, 1e-4);
  EXPECT_NEAR(secant(1, 9.0, 9.05), 9.83016, 1e-4);
}

TEST_F(Stages, DegenerateSearchesStopWithTheEigenvalueAndPass) {
  openunit(1, "log");
  const struct {
    double ea, eb;
    int passes;
    const char* what;
  } rows[] = {
      {20.0, 20.0, maxpasses, "eigenvalue 2, pass 1: secant step undefined"},
      {1e308, 1.5e308, maxpasses, "eigenvalue 2, pass 1: residual is not finite"},
      {9.5, 9.6, 2, "eigenvalue 2, pass 2: no convergence"},
  };
  for (const auto& r : rows) {
    try {
      secant(2, r.ea, r.eb, r.passes);
      ADD_FAILURE() << r.what;
    } catch (const fatalerror& failure) {
      EXPECT_EQ(std::string(failure.what()).rfind(r.what, 0), 0u) << failure.what();
    }
  }
}

// The second stage, from the eigenvalues of the first: each normalized eigenfunction has unit
// norm under the same rule, the expected number of nodes, and vanishes at the march's end.
TEST_F(Stages, EigenfunctionsAreNormalizedWithTheirNodes) {
  eigensearch();
  testing::internal::CaptureStdout();
  eigenfunctions();
  flushunit(6);
  const auto printed = lines(testing::internal::GetCapturedStdout());
  ASSERT_EQ(printed.size(), 3u);

  for (int i = 1; i <= neig; ++i) {
    EXPECT_EQ(printed[i - 1][0], ' ');
    EXPECT_EQ(std::stod(printed[i - 1]), norm[i - 1]);
    double g[npts];
    int signchanges = 0;
    for (int k = 1; k <= npts; ++k) {
      const double v = psi(i, k) * norm[i - 1];
      g[k - 1] = v * v;
      if (k > 1 && k < npts && (psi(i, k) > 0) != (psi(i, k - 1) > 0)) ++signchanges;
    }
    double s = 0.0;
    myintegrator(2, 0.0, 1.0, g, npts, s);
    EXPECT_NEAR(s, 1.0, 1e-12);
    EXPECT_EQ(signchanges, i - 1);
    EXPECT_LT(std::abs(psi(i, npts) * norm[i - 1]), 1e-6);
  }
}

}  // namespace
