#include <cstdio>
#include <string_view>

#include "solver/solver.h"

const char* const usage =
    "Usage: eigenshoot [--help | --version]\n"
    "\n"
    "Finds the three lowest eigenvalues E of y'' = -E y with y(0) = 0, y'(0) = 0.1 and y = 0\n"
    "at the end of a march of 500 classical Runge-Kutta steps of length h = 1/499, by\n"
    "shooting with a secant search, and their eigenfunctions, normalized over [0, 1].\n"
    "It reads no input. In the current directory it writes, replacing earlier files:\n"
    "  Q7-2016-res.dat  the iteration log: each secant pass's number and estimate of E\n"
    "  apartat4.dat     the normalized eigenfunctions: for each E, 500 rows of x and value\n"
    "and on standard output the three normalization constants, one per line.\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this text and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "Exit status: 0 after a complete run; 1 when an output cannot be written, with the file\n"
    "and the reason on standard error; 2 for an unrecognized argument, before any file is\n"
    "touched.\n";

const char* const version = "eigenshoot " EIGENSHOOT_VERSION "\n";

request commandline(int argc, char** argv) {
  request asked = request::run;
  for (int a = 1; a < argc; ++a) {
    const std::string_view arg = argv[a];
    if (arg == "-h" || arg == "--help") {
      asked = request::help;
    } else if (arg == "--version") {
      if (asked == request::run) asked = request::version;
    } else {
      std::fprintf(stderr, "eigenshoot: unrecognized argument '%s'\nTry 'eigenshoot --help'.\n",
                   argv[a]);
      return request::refused;
    }
  }
  return asked;
}
