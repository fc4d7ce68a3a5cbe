// gnuplot run on the command's pipes: its input written, its pictures and its words read, none
// of them waiting for another.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace eigenshoot {

struct gnuplotrun {
  int status = 0;    // gnuplot's wait status
  std::string out;   // what it wrote on its standard output: at most `most` bytes, one more when
                     // it wrote more
  std::string said;  // its standard error: the first 4096 bytes
};

// Runs gnuplot (-d: its default settings) on `input` with no shell in between, its standard
// input, output and error each a pipe of the command's, without core dumps, with the caller's
// signal dispositions and environment, but in a UTF-8 locale and without the variables that
// change what it draws (GNUTERM, GNUPLOT_*). gnuplot is ended if it stops, or if it has not
// ended `seconds` after its start; by the time this returns or throws, every process it started
// has been killed and reaped.
gnuplotrun rungnuplot(std::string_view input, double seconds, std::size_t most);

}  // namespace eigenshoot
