// eigenshoot-plot: draws the results of an eigenshoot run from the two files in the working
// directory, which it reads as data and checks in full before anything is drawn.
#include <exception>

#include "output/output.h"
#include "plot/plot.h"
#include "reader/reader.h"
#include "solver/parameters.h"
#include "solver/runtext.h"

int main(int argc, char** argv) {
  using namespace eigenshoot;
  try {
    keepcallersignals();
    prepareoutput();
    const request asked = commandline(argc, argv, "eigenshoot-plot");
    if (asked == request::refused) return 2;
    if (asked == request::run) {
      const runfiles run = readrun();
      drawpictures(run);
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
