// Judging what gnuplot did: whether a picture is one, and what gnuplot said.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace eigenshoot {

// The size in pixels of every picture, as the gnuplot script's terminal sets it.
struct picturesize {
  std::uint32_t width, height;
};
picturesize scriptpicturesize();

// Whether `png` is a PNG picture of `size` that decodes: the IHDR chunk first with that size,
// every chunk's CRC right, its image data inflating to exactly the filtered rows of that size,
// and the IEND chunk last with nothing after it.
bool decodes(std::string_view png, picturesize size);

// The line of gnuplot's words that tells its error: the first "line N: ..." (after a file name
// in quotes, or not), which follows its echo of the command and a caret; else its last line.
std::string_view toldline(std::string_view said);

// Judges gnuplot's work in the scratch directory open as `dir` and named `where`, after it ended
// with the wait status `status`: it has drawn the pictures when it ended with status 0 and both
// are pictures that decode. Otherwise the failure is told by gnuplot's error line, its end, or
// the picture that is not one. Returns what gnuplot said while it succeeded, one line for each
// of its lines, for the command to pass on as warnings.
std::string judge(int dir, const char* where, int status);

}  // namespace eigenshoot
