#include <cmath>
#include <string>

#include "kernels/kernels.h"
#include "output/texts.h"
#include "output/units.h"
#include "solver/fileshapes.h"
#include "solver/solver.h"

namespace eigenshoot {

namespace {

// The squares of a row of psi, npts of them, are static data as psi is: a stack holds only so
// many, and static data costs the run no allocation.
std::array<double, npts> squares;

}  // namespace

double normalize(int i) {
  quadraturemessages([](std::string_view message) { writelist(6, message); });
  for (int k = 1; k <= npts; ++k) squares[k - 1] = psi(i, k) * psi(i, k);
  double s = 0.0;
  myintegrator(imeth, qa, qb, squares.data(), npts, s);
  return 1.0 / std::sqrt(s);
}

void checkeigenfunction(int i) {
  const int changes = signchanges([i](int k) { return psi(i, k); });
  const bool above = i == 1 || eigen[i - 1] > eigen[i - 2];
  if (changes == i - 1 && above) return;
  const std::size_t n = static_cast<std::size_t>(i - 1);
  const std::string which = "eigenvalue " + std::to_string(i);
  throw fatalerror(which + ": the guesses " + shortest(guess1[n]) + " and " + shortest(guess2[n]) +
                   " led to E = " + shortest(eigen[n]) +
                   (changes != i - 1 ? " with " + std::to_string(changes) +
                                           (changes == 1 ? " sign change" : " sign changes") +
                                           " in its eigenfunction, not " + std::to_string(i - 1)
                                     : ", not above eigenvalue " + std::to_string(i - 1)) +
                   ": another eigenvalue; choose guesses nearer to " + which);
}

void eigenfunctions() {
  // Every eigenfunction is sampled and checked before "apartat4.dat" is opened, so that a
  // search that ended on another eigenvalue than its own leaves an earlier file as it was.
  for (int i = 1; i <= neig; ++i) {
    cts.E = eigen[i - 1];
    shoot(i);
    checkeigenfunction(i);
  }
  openunit(2, eigenshape.name);

  for (int i = 1; i <= neig; ++i) {
    norm[i - 1] = normalize(i);
    writelist(6, norm[i - 1]);
  }

  // Row k pairs the position where step k starts with the value after step k.
  for (int i = 1; i <= neig; ++i) {
    for (int empty = 0; empty < eigenshape.before; ++empty) writelist(2);
    writelist(2, eigenshape.label, eigen[i - 1]);
    for (int k = 1; k <= eigenshape.records; ++k) {
      writefmt<*eigenshape.record>(2, position(k), psi(i, k) * norm[i - 1]);
    }
  }
}

}  // namespace eigenshoot
