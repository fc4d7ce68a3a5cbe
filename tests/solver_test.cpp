// The march and the eigenvalue search, where the program's own run does not reach.
#include <gtest/gtest.h>

#include <stdexcept>

#include "kernels/kernels.h"
#include "output/output.h"
#include "solver/solver.h"
#include "testdir.h"

namespace {

TEST(March, RecordsOnlyRowsThatExist) {
  cts.E = 39.3;
  EXPECT_EQ(shoot(2), shoot());
  EXPECT_EQ(psi(2, npts), shoot());
  EXPECT_THROW(shoot(4), std::invalid_argument);
  EXPECT_THROW(shoot(1, npts + 1), std::invalid_argument);
}

// A search that cannot go on stops with a diagnostic naming the eigenvalue and the pass.
TEST(Search, DegenerateSearchesStop) {
  testdir dir;
  openunit(1, (dir.path / "log").string().c_str());
  const struct {
    double ea, eb;
    int passes;
    const char* what;
  } rows[] = {
      {20.0, 20.0, maxpasses, "eigenvalue 2, pass 1: secant step undefined"},
      {1e308, 1.5e308, maxpasses, "eigenvalue 2, pass 1: residual is not finite"},
      {20.1094, 20.1104, maxpasses, "eigenvalue 2, pass 1: residual is not finite"},
      {-5.08e5, -5.07e5, maxpasses, "eigenvalue 2, pass 1: secant estimate is not finite"},
      {9.5, 9.6, 2, "eigenvalue 2, pass 2: no convergence"},
  };
  for (const auto& r : rows) {
    try {
      secant(2, r.ea, r.eb, r.passes);
      ADD_FAILURE() << r.what;
    } catch (const fatalerror& failure) {
      EXPECT_TRUE(std::string(failure.what()).starts_with(r.what)) << failure.what();
    }
  }
  closeunit(1);
}

}  // namespace
