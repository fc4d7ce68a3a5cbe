// The run in data: the run parameters, the files a run writes and the layouts of their
// records. The solver that writes the files, the reader and the plot command that read them,
// and the texts that describe a run (usage, manual pages) all take them from here.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "output/output.h"

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

// A file without a header record has this one, of no columns.
inline constexpr format noheader("()");

// The shape of a file of the run, the one description that the stages that write the files and
// the reader follow: a header record (unless noheader), then `parts` parts, each of `before`
// empty lines, a list-directed header of the text `label` and a number (unless it is empty), its
// records laid out as `record`, and `after` empty lines. A part has exactly `records` records, or,
// when `upto`, one to `records` of them, ended by its first empty line. An empty line is a
// list-directed record without items.
struct fileshape {
  const char* name;
  const format* header;
  int parts;
  const char* part;       // what a part is called: "search", "block"
  const char* partsname;  // and more than one: "searches", "blocks"
  int before;
  std::string_view label;
  const format* record;
  int records;
  bool upto;
  const char* recordsname;  // what its records are called: "passes", "rows"
  int after;
};

// The iteration log: its header, then for each eigenvalue one record per secant pass (the
// pass and its estimate) and two empty lines.
inline constexpr fileshape logshape{logfile, &logheader, neig,      "search", "searches", 0,
                                    {},      &logpass,   maxpasses, true,     "passes",   2};
// The eigenfunction file: for each eigenvalue two empty lines, the header "#E= " and E, and one
// record per row k (position(k) and the normalized value after step k).
inline constexpr fileshape eigenshape{eigenfile,   &noheader,     neig, "block", "blocks", 2,
                                      eigenheader, &samplerecord, npts, false,   "rows",   0};

// The number of sign changes between neighbouring values of a row of an eigenfunction over
// rows 1 to npts - 1; the last row holds the search's residual, not a value of the function.
// The n-th eigenfunction has n - 1 of them: a search that ended on another eigenvalue than its
// own is told by it. The sign is the sign bit, as the file shows it: a value too small for its
// decimals is written "-0.000000000000" when it is negative.
template <class Row>
int signchanges(const Row& value) {
  int changes = 0;
  for (int k = 2; k < npts; ++k) changes += std::signbit(value(k)) != std::signbit(value(k - 1));
  return changes;
}

// The values that the texts about a run show (usage, manual pages), by the names that the
// texts use for them.
inline constexpr std::array<namedvalue, 13> runvalues{{
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
}};

}  // namespace eigenshoot
