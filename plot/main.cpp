// eigenshoot-plot: draws the results of an eigenshoot run from the two files in the working
// directory, which it reads as data and checks in full before anything is drawn.
#include <cstdio>
#include <exception>
#include <string>

#include "output/commandline.h"
#include "output/texts.h"
#include "output/units.h"
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
      // gnuplot's words when it has drawn the pictures (a font configuration it finds fault
      // with, say) are warnings.
      const std::string said = drawpictures(run);
      for (std::size_t at = 0, end; (end = said.find('\n', at)) != std::string::npos;
           at = end + 1) {
        std::fprintf(stderr, "eigenshoot-plot: gnuplot: %.*s\n", static_cast<int>(end - at),
                     said.data() + at);
      }
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
