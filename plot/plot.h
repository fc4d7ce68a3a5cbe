// eigenshoot-plot: the pictures of a run's two files, drawn with gnuplot (POSIX only).
#pragma once

#include <string>

#include "reader/reader.h"

namespace eigenshoot {

// The data sets and numbers that the gnuplot script draws, as new files of the directory open
// as `dir` and named `where`: eigen.dat, passes.dat, guesses.dat and run.gp. Only numbers are
// written.
void writeplotdata(int dir, const std::string& where, const runfiles& run);

// Draws eigenfunctions.png and convergence.png of the run with the gnuplot script `script`,
// in a scratch directory beside them, and replaces both pictures in the working directory, or
// neither. No scratch is left behind, not even after HUP, INT, TERM or QUIT.
void drawpictures(const runfiles& run, const std::string& script);

// The gnuplot script installed with the program, or the one beside it in a build directory.
std::string plotscript();

}  // namespace eigenshoot
