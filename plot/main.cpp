// eigenshoot-plot: draws the results of an eigenshoot run from the two files in the working
// directory, which it reads as data and checks in full before anything is drawn.
#include <cstdio>
#include <exception>
#include <string>

#include "output/commandline.h"
#include "output/texts.h"
#include "output/units.h"
#include "plot/draw.h"
#include "reader/reader.h"
#include "solver/parameters.h"
#include "solver/runtext.h"

// A test build of the command gives gnuplot fewer seconds, besides the same time a row.
#ifdef EIGENSHOOT_PLOTSECONDS
constexpr double seconds =
    eigenshoot::plotlimitfor(eigenshoot::npts) - eigenshoot::plotseconds + EIGENSHOOT_PLOTSECONDS;
#else
constexpr double seconds = eigenshoot::plotlimit;
#endif

int main(int argc, char** argv) {
  using namespace eigenshoot;
  try {
    prepareoutput();
    const request asked = commandline(argc, argv, "eigenshoot-plot");
    if (asked == request::refused) return 2;
    if (asked == request::run) {
      const runfiles run = readrun();
      // gnuplot's words when it has drawn the pictures (a font configuration it finds fault
      // with, say) are warnings.
      for (const std::string& line : drawpictures(run, seconds))
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
