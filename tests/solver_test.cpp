// The step, the quadrature, the march and the search where the program's own run does not
// reach, and the solution against the mathematics.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kernels/kernels.h"
#include "output/units.h"
#include "solver/fileshapes.h"
#include "solver/solver.h"
#include "testdir.h"

namespace eigenshoot {
namespace {

// The exact eigenvalue (n pi / L)^2 of y'' = -E y, y(x0) = 0, y(x0 + L) = 0, L = npts h.
double exactE(int n) {
  const double a = n * std::numbers::pi / (npts * h);
  return a * a;
}

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

// Integrates over [1, 2], an interval of unit length that does not start at 0, and keeps what
// the quadrature tells in `told`, a line for each message.
std::string told;
double integrate(int im, const std::vector<double>& f) {
  told.clear();
  quadraturemessages([](std::string_view message) { (told += message) += '\n'; });
  double result = -1.0;
  myintegrator(im, 1.0, 2.0, f.data(), static_cast<int>(f.size()), result);
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
  EXPECT_EQ(integrate(3, {2.0, 3.0, 4.0, 5.0, 6.0}), 0.0);
  EXPECT_EQ(told, "Valor IM no valid\nValor IM no valid\nValor IM no valid\n");
  for (int im : {1, 2, 3})  // no interval at all: zero, no message, no division by zero
    EXPECT_TRUE(integrate(im, {7.0}) == 0.0 && told.empty()) << im;
}

// The results against the mathematics, apart from any reference file and from the program's
// quadrature: the eigenvalues, and eigenfunctions that are the sines sin(a t), a = n pi / L, of
// the sign of the start slope y'(x0),
// t = x - x0, at unit norm over the samples (qb - qa long, from t = h, where the first sample
// belongs), each with n - 1 sign changes. The bounds follow the run parameters: the Simpson-type
// rule over an odd number of intervals leaves one interval to an error of about h^3 f''/12 on f =
// sin^2(a t), f'' <= 2 a^2, and a search stopped at a residual below tol leaves the phase off by up
// to tol a / |y'(x0)| at the end. A constant or a rule off by more fails.
TEST(Solution, AgreesWithTheMathematics) {
  testdir dir;
  openunit(1, (dir.path / "log").string().c_str());
  const double L = npts * h, pi = std::numbers::pi, span = qb - qa;
  for (int n = 1; n <= neig; ++n) {
    cts.E = eigen[n - 1] = secant(n, guess1[n - 1], guess2[n - 1]);
    const double a = n * pi / L, phase = tol * a / std::abs(ystart[1]);
    const double relative = h * h * h * 4 * a * a / (3 * span) + phase;
    EXPECT_NEAR(cts.E, exactE(n), 2 * a * phase / L + h * h * h * h * a * a * a * a * a * a) << n;
    shoot(n);
    const double c = normalize(n);
    const double unit =
        std::copysign(1.0, ystart[1]) /
        std::sqrt(span / 2 - (std::sin(2 * a * (h + span)) - std::sin(2 * a * h)) / (4 * a));
    for (int k = 1; k <= npts; ++k)
      EXPECT_NEAR(psi(n, k) * c, unit * std::sin(a * k * h), std::abs(unit) * relative)
          << n << ", " << k;
    EXPECT_NO_THROW(checkeigenfunction(n));
  }
  closeunit(1);
}

// A search that ends on another eigenvalue than its own is told by the sign changes of its
// eigenfunction, or by an eigenvalue that is not above the one before.
TEST(Solution, AnotherEigenvalueStopsTheRun) {
  const auto check = [](int i, double E) {
    cts.E = eigen[i - 1] = E;
    shoot(i);
    return refusal([i] { checkeigenfunction(i); });
  };
  const std::string i = std::to_string(neig), beyond = check(neig, exactE(neig + 2));
  EXPECT_EQ(beyond.find("eigenvalue " + i + ": the guesses "), 0u) << beyond;
  EXPECT_NE(beyond.find(" with " + std::to_string(neig + 1) +
                        " sign changes in its eigenfunction, not " + std::to_string(neig - 1)),
            std::string::npos);
  if (neig > 1) {  // a sign change too few, above the one before; then one equal to it
    eigen[neig - 2] = 0.0;
    EXPECT_NE(check(neig, exactE(neig - 1)).find(" with " + std::to_string(neig - 2) + " sign"),
              std::string::npos);
    eigen[neig - 2] = exactE(neig);
    EXPECT_NE(check(neig, exactE(neig)).find("not above eigenvalue"), std::string::npos);
  }
}

TEST(March, RecordsOnlyRowsThatExist) {
  cts.E = exactE(1);
  EXPECT_TRUE(shoot(neig) == shoot() && psi(neig, npts) == shoot());  // recording changes nothing
  EXPECT_THROW(shoot(neig + 1), std::invalid_argument);
  EXPECT_THROW(shoot(1, npts + 1), std::invalid_argument);
}

double residual(double E) {
  cts.E = E;
  return shoot();
}

// Two guesses with residuals that differ in the last places only: the first just above the
// lowest eigenvalue, the second where the residual comes back to it between the third
// eigenvalue and the next peak, found by bisection. Their secant estimate is so far beyond any
// eigenvalue that the march there overflows.
std::array<double, 2> nearlyequalresiduals() {
  const double ea = exactE(1) * (1 + 1e-3), fa = residual(ea);
  const double a = 3.5 * std::numbers::pi / (npts * h);
  double lo = exactE(3), hi = a * a, eb = lo;
  const bool below = residual(lo) < fa;
  for (int i = 0; i < 200; ++i) {
    const double mid = lo + (hi - lo) / 2, f = residual(mid);
    if (f == fa) break;
    eb = mid;
    ((f < fa) == below ? lo : hi) = mid;
  }
  return {ea, eb};
}

// A negative E at which the residuals of E and of a neighbour are finite but the secant step's
// numerator is not, or none. The residual grows with -E until the march overflows; the
// products of E and the residual may overflow a little before (they do for the built-in
// parameters), and then the bisection of that edge finds it.
std::optional<std::array<double, 2>> steepest() {
  const auto E = [](double x) { return -(x / (npts * h)) * (x / (npts * h)); };
  const auto found = [](double ea) {
    const double eb = ea * (1 - 1e-9), fa = residual(ea), fb = residual(eb);
    return std::isfinite(fa) && std::isfinite(fb) && !std::isfinite(ea * fb - eb * fa);
  };
  double lo = 1, hi = 1;
  while (std::isfinite(residual(E(hi)))) lo = hi, hi *= 2;
  for (int i = 0; i < 100 && !found(E(hi)); ++i) {
    const double mid = lo + (hi - lo) / 2, f = residual(E(mid));
    (std::isfinite(f) && std::isfinite(E(mid) * f) ? lo : hi) = mid;
  }
  if (!found(E(hi))) return std::nullopt;
  return std::array{E(hi), E(hi) * (1 - 1e-9)};
}

// A search that cannot go on stops with a diagnostic naming the eigenvalue and the pass.
TEST(Search, DegenerateSearchesStop) {
  testdir dir;
  openunit(1, (dir.path / "log").string().c_str());
  const auto stops = [](double ea, double eb, int passes, const std::string& what) {
    const std::string failure = refusal([&] { secant(2, ea, eb, passes); });
    EXPECT_EQ(failure.find("eigenvalue 2, pass 1: " + what), 0u) << what << ": " << failure;
  };
  const auto [ea, eb] = nearlyequalresiduals();
  stops(20.0, 20.0, maxpasses, "secant step undefined");
  stops(1e308, 1.5e308, maxpasses, "residual is not finite");
  stops(ea, eb, maxpasses, "residual is not finite");
  stops(exactE(1) * 0.9, exactE(1) * 0.95, 1, "no convergence");
  // With other run parameters the march may overflow before a secant step can: the row is then
  // left out.
  if (const auto steep = steepest())
    stops((*steep)[0], (*steep)[1], maxpasses, "secant estimate is not finite");
  closeunit(1);
}

// A run that stops, in the search (its last guesses equal) or after it (they lead to the next
// eigenvalue), keeps in its log every pass written before the stop, the failed search's too:
// the text of a log of the same searches closed as at a normal end. The eigenfunction file is
// not made.
TEST(Search, AStoppedRunKeepsItsPasses) {
  testdir dir;
  auto next1 = guess1, next2 = guess2, same = guess2;
  next1.back() = exactE(neig + 1) * 0.99;
  next2.back() = exactE(neig + 1) * 1.01;
  same.back() = guess1.back();
  for (const auto& guesses : {std::pair{next1, next2}, std::pair{guess1, same}}) {
    const auto &first = guesses.first, &second = guesses.second;  // for a lambda to take
    openunit(1, (dir.path / "searches").string().c_str());
    writefmt(1, *logshape.header);
    refusal([&] {
      for (int i = 1; i <= neig; ++i) secant(i, first[i - 1], second[i - 1]);
    });
    closeunit(1);
    // The run as the command makes it, in a child process that ends without the exit handlers
    // of this test program.
    EXPECT_EXIT(
        {
          std::filesystem::current_path(dir.path);
          try {
            eigensearch(first, second);
            eigenfunctions();
          } catch (const std::exception& failure) {
            std::_Exit(stopped("eigenshoot", failure));
          }
          std::_Exit(0);
        },
        testing::ExitedWithCode(1), "^eigenshoot: eigenvalue " + std::to_string(neig) + "[,:] ");
    EXPECT_EQ(slurp(dir.path / logfile), slurp(dir.path / "searches"));
    EXPECT_FALSE(std::filesystem::exists(dir.path / eigenfile));
  }
}

}  // namespace
}  // namespace eigenshoot
