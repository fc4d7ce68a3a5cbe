// What the pictures show, computed from a run's files, as gnuplot reads it ahead of the script.
#pragma once

#include <array>
#include <string>

#include "reader/reader.h"
#include "solver/parameters.h"

namespace eigenshoot {

// The run's numbers as gnuplot commands, with no file named: the data blocks $eigen (for each
// eigenfunction: position, computed, exact, computed - exact), $passes (for each search: pass,
// |E - exact|) and $guesses (for each search: its two guesses at pass 0), each set two blank
// lines after the one before, and the variables that the script reads (n rows of spacing h,
// L = n h, neig eigenvalues E1, E2, ... beside their exact values exact1, ..., the most passes
// of a search, tol, x0, qa, qb, and the march's start and slope). The exact values are those of
// the problem marched from y = start[0], y' = start[1]: the build's own unless said otherwise.
std::string plotdata(const runfiles& run, std::array<double, 2> start = ystart);

}  // namespace eigenshoot
