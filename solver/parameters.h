// The run in data: the run parameters, the files a run writes and the layouts of their
// records. The solver that writes the files, the reader and the plot command that read them,
// and the texts that describe a run (usage, manual pages) all take them from here.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "output/format.h"
#include "output/texts.h"

namespace eigenshoot {

// Run parameters, fixed at build time: this is the one place to change them. The interval
// [x0, xf] is split into npts - 1 steps of length h, and every march takes npts of them, so it
// ends one step past xf, at x0 + npts h: the eigenvalues are near (n pi / L)^2, L = npts h,
// and the n-th pair of guesses must lie nearer to the n-th of them than to any other.
inline constexpr int npts = 500;
inline constexpr double x0 = 0.0;
inline constexpr double xf = 1.0;
inline constexpr double h = (xf - x0) / static_cast<double>(npts - 1);
inline constexpr double tol = 1e-8;
inline constexpr std::array<double, 2> ystart = {0.0, 0.1};
inline constexpr int neig = 3;
inline constexpr std::array guess1 = {9.5, 39.0, 88.5};
inline constexpr std::array guess2 = {9.6, 39.1, 88.6};
inline constexpr int imeth = 2;
inline constexpr double qa = 0.0;
inline constexpr double qb = 1.0;
static_assert(npts >= 3 && neig >= 1, "a march needs two steps and the run an eigenvalue");
static_assert(guess1.size() == neig && guess2.size() == neig,
              "each eigenvalue needs its pair of guesses in guess1 and guess2");
static_assert((qb - qa) / static_cast<double>(npts - 1) == h,
              "the quadrature's interval [qa, qb] is held apart from [x0, xf], but its spacing "
              "(qb - qa) / (npts - 1) must be the step h: change qa and qb with x0 and xf");

// A secant search that has not converged after this many passes is stopped: the run must
// end even for guesses from which the iteration wanders.
inline constexpr int maxpasses = 1000;

// The position at the start of step k (counted from 1): convert, multiply, add.
inline double position(int k) {
  return static_cast<double>(k - 1) * h + x0;
}

// The files of a run and the layouts of their records: the iteration log (a header, then one
// record per secant pass) and the eigenfunction file (for each eigenvalue a list-directed
// header "#E= " and E, then one record per row).
inline constexpr char logfile[] = "Q7-2016-res.dat";
inline constexpr char eigenfile[] = "apartat4.dat";
inline constexpr format logheader("(4x, '#N', 16x, 'E')");
inline constexpr format logpass("(I6, 2X, F24.16)");
inline constexpr format samplerecord("(F24.12, 2X, F24.12)");
inline constexpr char eigenheader[] = "#E= ";

// The seconds that eigenshoot-plot gives gnuplot to draw the pictures: far more than a drawing
// takes (the default build draws in under a second; 2,000,000 rows took 44 s on a loaded machine
// when gnuplot still read its script a byte at a time).
inline constexpr double plotseconds = 30.0, plotsecondsarow = 3e-4;
constexpr double plotlimitfor(int rows) {
  return plotseconds + rows * plotsecondsarow;
}
static_assert(plotlimitfor(500) <= 60 && plotlimitfor(2'000'000) >= 10 * 44,
              "the plot command's limit: at most a minute for the default build, room to spare for "
              "the largest");
inline constexpr double plotlimit = plotlimitfor(npts);

// The values that the texts about a run show (usage, manual pages), by the names that the
// texts use for them.
inline constexpr std::array<namedvalue, 16> runvalues{{
    {"npts", npts},
    {"intervals", npts - 1},
    {"neig", neig},
    {"x0", x0},
    {"xf", xf},
    {"tol", tol},
    {"start", ystart[0]},
    {"slope", ystart[1]},
    {"qa", qa},
    {"qb", qb},
    {"guess1", 0.0, guess1},
    {"guess2", 0.0, guess2},
    {"maxpasses", maxpasses},
    {"plotlimit", plotlimit},
    {"plotseconds", plotseconds},
    {"plotsecondsarow", plotsecondsarow},
}};

}  // namespace eigenshoot
