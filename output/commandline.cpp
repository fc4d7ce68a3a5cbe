// The command line of both commands: --help, --version, or nothing.
#include "output/commandline.h"

#include <cstdio>
#include <string_view>

#include "output/terminal.h"

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

}  // namespace eigenshoot
