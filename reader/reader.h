// Reader: the two files of a run read back, record by record, with the layouts and run
// parameters that the writer uses, so that a change of either changes both. Every number is
// read exactly and must be finite; every structural fault stops the reading with a fatalerror
// "FILE: line N: reason".
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/base.h"
#include "output/format.h"
#include "solver/fileshapes.h"
#include "solver/parameters.h"

namespace eigenshoot {

// One block of the eigenfunction file: its eigenvalue (from its header, on line `line`) and
// the normalized value of each row; row k's position is position(k), which the reader checks.
// The npts values are on the heap, so that a runfiles is small wherever it is held.
struct eigenblock {
  double E = 0.0;
  int line = 0;
  std::vector<double> value = std::vector<double>(npts);
};

// One search of the iteration log: the estimate of each pass, and the line of the last one.
struct searchpasses {
  std::vector<double> estimate;
  int lastline = 0;
};

struct runfiles {
  std::array<eigenblock, neig> blocks;
  std::array<searchpasses, neig> searches;
};

// The largest file of a shape, every line at its longest: longer ones are refused before they
// are read.
constexpr std::size_t largest(const fileshape& s) {
  std::size_t part = static_cast<std::size_t>(s.before + s.after) +
                     static_cast<std::size_t>(s.records) * (s.record->width() + 1u);
  if (!s.label.empty()) part += 1 + s.label.size() + listedreal + 1;
  return (s.header->width() > 0 ? s.header->width() + 1u : 0u) +
         static_cast<std::size_t>(s.parts) * part;
}
inline constexpr std::size_t eigenfilelimit = largest(eigenshape);
inline constexpr std::size_t logfilelimit = largest(logshape);

// Reads one record laid out by f into its numbers (integers and reals, in the order of the
// format's data descriptors). Returns false when the line is not the record that layout()
// writes of these numbers (the writer's own layout of them is compared byte for byte), or a
// number in it is not finite.
bool readrecord(std::string_view line, const format& f, std::span<double> numbers);

// The texts of the two files, as the program writes them, into run, each read by its shape
// (logshape, eigenshape): every line must be the one that the program writes of the numbers
// read from it, each row's position the text of position(k), block i's values must change sign
// i - 1 times over rows 1 to npts - 1 and the eigenvalues must increase (the rule by which the
// solver stops a run). A text longer than largest() of its shape is refused, and a file laid
// out as eigenshoot writes it with other run parameters (another count of blocks or rows) is
// refused as such. matchfiles checks that the files are of one run: the last pass of each
// search is the eigenvalue of its block.
void readeigenfile(std::string_view text, runfiles& run);
void readlogfile(std::string_view text, runfiles& run);
void matchfiles(const runfiles& run);

// A file of the working directory, whole, or its first limit + 1 bytes when it is longer (the
// reading of its shape refuses a file too large by that). It is opened once, without blocking
// (a FIFO put in its place cannot make the reading wait), and checked through what was opened:
// a regular file.
std::string readfile(const char* name, std::size_t limit);

// Both files of a run in the working directory, read and matched.
runfiles readrun();

}  // namespace eigenshoot
