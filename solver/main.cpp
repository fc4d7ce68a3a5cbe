// eigenshoot: the three lowest eigenvalues of y'' = -E*y, y(0) = 0, by shooting, with their
// normalized eigenfunctions. Takes no input; writes "Q7-2016-res.dat", "apartat4.dat" and
// the normalization constants on standard output.
#include <exception>

#include "filerules/filerules.h"
#include "output/commandline.h"
#include "output/texts.h"
#include "output/units.h"
#include "solver/parameters.h"
#include "solver/runtext.h"
#include "solver/solver.h"

int main(int argc, char** argv) {
  using namespace eigenshoot;
  try {
    prepareoutput();
    const request asked = commandline(argc, argv, "eigenshoot");
    if (asked == request::refused) return 2;
    if (asked == request::run) {
      claimfiles({logfile, eigenfile});  // before either file loses a byte
      eigensearch();
      eigenfunctions();
    } else {
      writetext(6, asked == request::help ? wrapped(filled(usagetext, runvalues), helpcolumns)
                                          : versiontext);
    }
    closeunits();
    return 0;
  } catch (const std::exception& failure) {
    return stopped("eigenshoot", failure);  // what the run wrote up to here is kept
  }
}
