// eigenshoot-plot: the pictures of a run's two files, drawn with gnuplot (POSIX only).
#pragma once

#include <string>
#include <string_view>

#include "reader/reader.h"

namespace eigenshoot {

// The data sets and numbers that the gnuplot script draws, as new files of the directory open
// as `dir` and named `where`: eigen.dat, passes.dat, guesses.dat and run.gp. Only numbers are
// written.
void writeplotdata(int dir, const std::string& where, const runfiles& run);

// Writes `text` as the new file `name` (mode 0600) of the directory open as `dir` and named
// `where`.
void writenewfile(int dir, const std::string& where, const char* name, std::string_view text);

// Notes the caller's dispositions of SIGPIPE and SIGXFSZ, for gnuplot to start with: called
// before prepareoutput() ignores them for the command itself.
void keepcallersignals();

// Draws eigenfunctions.png and convergence.png of the run with the gnuplot script compiled into
// the command, in a scratch directory beside them, and replaces both pictures in the working
// directory, or neither. No scratch is left behind, not even after HUP, INT, TERM or QUIT.
// Returns what gnuplot said while it drew them, escaped, a line for each of its lines.
std::string drawpictures(const runfiles& run);

}  // namespace eigenshoot
