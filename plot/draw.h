// The pictures of a run, drawn by gnuplot and put in place by the command.
#pragma once

#include <string>
#include <vector>

#include "reader/reader.h"

namespace eigenshoot {

// Draws eigenfunctions.png and convergence.png of the run with the gnuplot script compiled into
// the command, giving gnuplot `seconds` at most, and replaces both pictures in the working
// directory, or neither. Returns what gnuplot said while it drew them, escaped, a line for each
// of its lines that is not blank.
std::vector<std::string> drawpictures(const runfiles& run, double seconds);

}  // namespace eigenshoot
