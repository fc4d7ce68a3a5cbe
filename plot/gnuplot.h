// gnuplot started on the script in the scratch directory, waited for, and ended with every
// process that it started.
#pragma once

#include "plot/scratch.h"

namespace eigenshoot {

// Runs gnuplot on the script in the scratch directory, in a process group of its own, and
// returns its wait status. When it returns, every process of that group has been killed and
// gnuplot has been reaped.
int rungnuplot(const scratch& dir);

// Kills gnuplot's process group and reaps gnuplot, if it runs: for the ways out of the command,
// signal handlers among them.
void endgnuplot();

}  // namespace eigenshoot
