// The command line of both commands (--help, --version, or nothing), and their end when they
// stop.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "output/texts.h"
#include "output/units.h"

namespace eigenshoot {

request commandline(int argc, char** argv, const char* program) {
  request asked = request::run;
  for (int a = 1; a < argc; ++a) {
    const std::string_view arg = argv[a];
    if (arg == "-h" || arg == "--help") {
      asked = request::help;
    } else if (arg == "--version") {
      if (asked == request::run) asked = request::version;
    } else {
      std::fprintf(stderr, "%s: unrecognized argument '%s'\nTry '%s --help'.\n", program,
                   escaped(arg).c_str(), program);
      return request::refused;
    }
  }
  return asked;
}

int stopped(const char* program, const std::exception& failure) {
  std::fprintf(stderr, "%s: %s\n", program, escaped(failure.what()).c_str());
  for (const int unit : {1, 2, 6}) {
    try {
      closeunit(unit);
    } catch (const std::exception& fault) {
      std::fprintf(stderr, "%s: %s\n", program, escaped(fault.what()).c_str());
    }
  }
  return 1;
}

}  // namespace eigenshoot
