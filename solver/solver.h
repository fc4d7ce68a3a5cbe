// Eigenvalue solver: the trajectory march, the secant search for the lowest eigenvalues and
// the eigenfunction stage, on the run parameters of solver/parameters.h.
#pragma once

#include <array>

#include "kernels/kernels.h"
#include "base/base.h"
#include "solver/parameters.h"

namespace eigenshoot {

// How the march passes the model's state to the step, and which quadrature normalizes.
inline constexpr int ncomp = 2;
static_assert(ncomp == nmodel, "the march passes the model's whole state to the step");

// Run-wide tables. They grow with npts and are static data, which no stack size limits: psi
// and the squares of one of its rows for the quadrature, (neig + 1) npts doubles. The default
// code model addresses static data with 32-bit offsets, so these tables and the program's other
// static data (well under 16 MiB) must fit in 2 GiB; a larger run would not link.
static_assert((neig + 1LL) * npts * sizeof(double) <= (1LL << 31) - (1LL << 24),
              "psi and the squares of a row, (neig + 1) npts doubles of static data, must fit in "
              "the 2 GiB that the default code model addresses: lower npts or neig");

// psi(i, k) holds the first component after step k of the march for
// eigenvalue i (both counted from 1); the values of one position k are adjacent in storage.
struct sampletable {
  std::array<double, neig * npts> data{};
  double& operator()(int i, int k) {
    return data[static_cast<std::size_t>((k - 1) * neig + (i - 1))];
  }
};
extern std::array<double, neig> eigen;
extern sampletable psi;
extern std::array<double, neig> norm;

// Marches the model from ystart over `steps` steps for the E held in cts and returns the
// first component at the end: the shooting residual. With record = i (1 to neig) the first
// component after each step k is stored as psi(i, k); recording needs steps <= npts.
inline constexpr int norecord = 0;
double shoot(int record = norecord, int steps = npts);

// The normalization constant of the recorded row psi(i, 1 ... npts): 1 / sqrt of the integral
// of its square by the quadrature imeth over [qa, qb].
double normalize(int i);

// Secant search for eigenvalue i from the guesses ea and eb, logging each pass to unit 1.
// Returns the first estimate whose residual is below tol. Throws fatalerror, naming the
// eigenvalue and the pass, when a secant step is undefined (equal residuals), a residual or
// estimate is not finite, or `passes` passes have not converged.
double secant(int i, double ea, double eb, int passes = maxpasses);

// First stage: opens the iteration log "Q7-2016-res.dat", finds the eigenvalues in order from
// the pairs of guesses (the built-in ones unless others are given), fills eigen, and closes the
// log. A search that stops leaves the log open, its passes pending, for the end of the command.
void eigensearch(const std::array<double, neig>& first = guess1,
                 const std::array<double, neig>& second = guess2);

// Throws fatalerror, naming eigenvalue i, its guesses and the E found, unless the recorded row
// psi(i, ...) changes sign i - 1 times and E is above eigenvalue i - 1: the search ended on
// another eigenvalue than its own.
void checkeigenfunction(int i);

// Second stage: records the eigenfunctions at the eigenvalues found and checks them
// (checkeigenfunction), then opens "apartat4.dat", normalizes them, prints the normalization
// constants on standard output and writes the normalized eigenfunctions, one block per eigenvalue.
void eigenfunctions();

}  // namespace eigenshoot
