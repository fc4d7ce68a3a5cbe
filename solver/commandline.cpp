#include <cstdio>
#include <string>
#include <string_view>

#include "solver/solver.h"

namespace eigenshoot {

namespace {

// The argument as it can be shown on a terminal: control characters (escape sequences
// included) are written as a backslash and three octal digits, so that nothing in an argument
// acts on the terminal.
std::string shown(std::string_view arg) {
  std::string text;
  for (const char c : arg) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      text += {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + (byte >> 3 & 7)),
               static_cast<char>('0' + (byte & 7))};
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace

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
                   shown(arg).c_str());
      return request::refused;
    }
  }
  return asked;
}

}  // namespace eigenshoot
