// Judging what gnuplot did: whether its output is the two pictures, and what it said.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace eigenshoot {

// The pictures, in the order that the gnuplot script draws them.
inline constexpr std::array picturenames = {"eigenfunctions.png", "convergence.png"};

// The size in pixels of every picture, as the gnuplot script's terminal sets it.
struct picturesize {
  std::uint32_t width, height;
};
picturesize scriptpicturesize();
// The most bytes that a PNG picture of that size takes: its rows stored uncompressed, with room
// to spare for the framing of chunks and blocks.
std::size_t largestpicture();

// The length of the PNG picture of `size` at the start of `png`, if it decodes, else 0: the
// IHDR chunk first with that size, every chunk's CRC right, its image data inflating to exactly
// the filtered rows of that size, and the IEND chunk last.
std::size_t decoded(std::string_view png, picturesize size);

// The lines of what gnuplot said that are not blank, without their indentation.
std::vector<std::string_view> saidlines(std::string_view said);

// The line of gnuplot's words that tells its error: the first "line N: ..." (without the name
// of the script in quotes before it, which is none of the user's), which follows its echo of
// the command and a caret; else its last line.
std::string_view toldline(std::string_view said);

// Judges gnuplot's work, after it ended with the wait status `status` having written `out` and
// said `said`: it has drawn the pictures when it ended with status 0 and `out` is two pictures
// that decode, one after the other, which are returned. Otherwise the failure is thrown, told
// by gnuplot's error line, its end, or the picture that is not one.
std::array<std::string_view, 2> judge(int status, std::string_view out, std::string_view said);

}  // namespace eigenshoot
