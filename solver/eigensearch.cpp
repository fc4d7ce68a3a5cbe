#include <cmath>
#include <string>

#include "kernels/kernels.h"
#include "output/units.h"
#include "solver/fileshapes.h"
#include "solver/solver.h"

namespace eigenshoot {

namespace {

[[noreturn]] void stuck(int i, int m, const char* why) {
  throw fatalerror("eigenvalue " + std::to_string(i) + ", pass " + std::to_string(m) + ": " + why);
}

}  // namespace

// Every pass marches afresh at E_a, E_b and the secant estimate; the search converges when the
// residual of the estimate is strictly below tol (a NaN residual never is).
double secant(int i, double ea, double eb, int passes) {
  for (int m = 1;; ++m) {
    cts.E = ea;
    const double fa = shoot();
    cts.E = eb;
    const double fb = shoot();
    if (!std::isfinite(fa) || !std::isfinite(fb)) stuck(i, m, "residual is not finite");
    if (fb == fa) stuck(i, m, "secant step undefined, the two residuals are equal");
    const double enew = (ea * fb - eb * fa) / (fb - fa);
    if (!std::isfinite(enew)) stuck(i, m, "secant estimate is not finite");
    cts.E = enew;
    const double fnew = shoot();
    writefmt<*logshape.record>(1, m, enew);
    if (tol > std::abs(fnew)) {
      for (int empty = 0; empty < logshape.after; ++empty) writelist(1);
      return enew;
    }
    if (!std::isfinite(fnew)) stuck(i, m, "residual is not finite");
    if (m >= passes) stuck(i, m, "no convergence");
    ea = eb;
    eb = enew;
  }
}

void eigensearch(const std::array<double, neig>& first, const std::array<double, neig>& second) {
  openunit(1, logshape.name);
  writefmt<*logshape.header>(1);
  for (int i = 1; i <= neig; ++i) eigen[i - 1] = secant(i, first[i - 1], second[i - 1]);
  // The log is complete and closed, its close checked, before the eigenfunction file is
  // touched: a run that fails on the log leaves an earlier eigenfunction file as it was.
  closeunit(1);
}

}  // namespace eigenshoot
