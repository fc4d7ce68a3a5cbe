// Eigenvalue solver: the built-in run parameters, the trajectory march, the secant search
// for the three lowest eigenvalues and the eigenfunction stage.
#pragma once

#include <array>

#include "kernels/kernels.h"
#include "output/output.h"

namespace eigenshoot {

// Run parameters, fixed at build time: this is the one place to change them. The usage text,
// the manual pages and the plot command are made from them when the program is built. The
// interval [x0, xf] is split into npts - 1 steps of length h, and every march takes npts of
// them, so it ends one step past xf, at x0 + npts h.
inline constexpr int npts = 500;
inline constexpr double x0 = 0.0;
inline constexpr double xf = 1.0;
inline constexpr double h = (xf - x0) / static_cast<double>(npts - 1);
inline constexpr double tol = 1e-8;
inline constexpr std::array<double, 2> ystart = {0.0, 0.1};
inline constexpr int neig = 3;
inline constexpr std::array guess1 = {9.5, 39.0, 88.5};
inline constexpr std::array guess2 = {9.6, 39.1, 88.6};
inline constexpr int ncomp = 2;
inline constexpr int imeth = 2;
inline constexpr double qa = 0.0;
inline constexpr double qb = 1.0;
static_assert(npts >= 2 && neig >= 1, "a march needs a step and the run an eigenvalue");
static_assert(guess1.size() == neig && guess2.size() == neig,
              "each eigenvalue needs its pair of guesses in guess1 and guess2");
static_assert((qb - qa) / static_cast<double>(npts - 1) == h,
              "the quadrature's interval [qa, qb] is held apart from [x0, xf], but its spacing "
              "(qb - qa) / (npts - 1) must be the step h: change qa and qb with x0 and xf");
static_assert(ncomp == nmodel, "the march passes the model's whole state to the step");

// The files of a run and the layouts of their records: the iteration log (a header, then one
// record per secant pass) and the eigenfunction file (for each eigenvalue a list-directed
// header "#E= " and E, then one record per row).
inline constexpr char logfile[] = "Q7-2016-res.dat";
inline constexpr char eigenfile[] = "apartat4.dat";
inline constexpr format logheader("(4x, '#N', 16x, 'E')");
inline constexpr format logpass("(I6, 2X, F24.16)");
inline constexpr format samplerecord("(F24.12, 2X, F24.12)");
inline constexpr char eigenheader[] = "#E= ";

// The position at the start of step k (counted from 1): convert, multiply, add.
inline double position(int k) {
  return static_cast<double>(k - 1) * h + x0;
}

// A secant search that has not converged after this many passes is stopped: the run must
// end even for guesses from which the iteration wanders.
inline constexpr int maxpasses = 1000;

// Run-wide tables. psi(i, k) holds the first component after step k of the march for
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

// First stage: opens the iteration log "Q7-2016-res.dat", finds the eigenvalues in order
// from the built-in guesses, fills eigen, and closes the log.
void eigensearch();

// Second stage: opens "apartat4.dat", records the eigenfunctions at the eigenvalues found,
// normalizes them, prints the normalization constants on standard output and writes the
// normalized eigenfunctions, one block per eigenvalue.
void eigenfunctions();

// What the command line asks for: the computation (no arguments), or only the usage text or
// the version, to be printed on standard output. Any other argument is refused with a
// diagnostic on standard error that names the program, before any file is touched. Shared by
// eigenshoot and eigenshoot-plot.
enum class request { run, help, version, refused };
request commandline(int argc, char** argv, const char* program);

}  // namespace eigenshoot
