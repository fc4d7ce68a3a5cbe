// eigenshoot-filltext IN OUT: writes the text IN with the values of the run parameters filled
// in, as the program computes with them, to OUT. The build makes the manual pages with it.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "output/texts.h"
#include "solver/parameters.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: eigenshoot-filltext IN OUT\n");
    return 2;
  }
  try {
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in) throw std::runtime_error("cannot be read");
    std::ofstream out(argv[2], std::ios::binary);
    out << eigenshoot::filled(text, eigenshoot::runvalues);
    out.close();
    if (!out) throw std::runtime_error(std::string(argv[2]) + ": cannot be written");
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "eigenshoot-filltext: %s: %s\n", argv[1], failure.what());
    return 1;
  }
}
