// eigenshoot-plot: draws the results of an eigenshoot run from the two files in the working
// directory, which it reads as data and checks in full before anything is drawn.
#include <cstdio>
#include <exception>
#include <string>

#include "base/base.h"
#include "output/commandline.h"
#include "output/texts.h"
#include "output/units.h"
#include "plot/draw.h"
#include "reader/reader.h"
#include "solver/parameters.h"
#include "solver/runtext.h"

// The seconds that gnuplot is given to draw the pictures, besides 0.3 ms a row of the run's
// blocks: 30.15 for 500 rows, 630 for 2,000,000, where a loaded machine took 44. Only a test
// build of the command makes it shorter.
#ifndef EIGENSHOOT_PLOTSECONDS
#define EIGENSHOOT_PLOTSECONDS 30
#endif

int main(int argc, char** argv) {
  using namespace eigenshoot;
  try {
    ignorewritesignals();
    prepareoutput();
    const request asked = commandline(argc, argv, "eigenshoot-plot");
    if (asked == request::refused) return 2;
    if (asked == request::run) {
      const runfiles run = readrun();
      // gnuplot's words when it has drawn the pictures (a font configuration it finds fault
      // with, say) are warnings.
      for (const std::string& line : drawpictures(run, EIGENSHOOT_PLOTSECONDS + npts * 3e-4))
        std::fprintf(stderr, "eigenshoot-plot: gnuplot: %s\n", line.c_str());
    } else {
      writetext(6, asked == request::help ? wrapped(filled(plotusagetext, runvalues), helpcolumns)
                                          : plotversiontext);
    }
    closeunits();
    return 0;
  } catch (const std::exception& failure) {
    return stopped("eigenshoot-plot", failure);
  }
}
