// The shapes of a run's files, the one description that the stages that write the files and the
// reader follow, and the rule by which an eigenfunction is told from another.
#pragma once

#include <cmath>
#include <string_view>

#include "output/format.h"
#include "solver/parameters.h"

namespace eigenshoot {

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

}  // namespace eigenshoot
