// The parts of the plot command: the decoding of a picture, the reading of gnuplot's words, and
// gnuplot run on its pipes, by a stand-in.
#include <gtest/gtest.h>

#include <zlib.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/base.h"
#include "plot/gnuplot.h"
#include "plot/picture.h"
#include "testdir.h"

namespace eigenshoot {
namespace {

std::string bigendian(std::size_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string chunk(std::string_view type, std::string_view data) {
  const std::string typed = std::string(type).append(data);
  return bigendian(data.size()) + typed +
         bigendian(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                         static_cast<uInt>(typed.size())));
}

// A white PNG picture declared as `size` and, after it in IHDR, `depth` (8-bit RGB unless said
// otherwise), of `rows` rows of RGB each filtered by `filter`, with a bit flipped in byte `flip`
// (but 0) of its image data, in two IDAT chunks. The data are stored, not compressed, and the
// first chunk inflates to just 64 KiB (a zlib header, a block of 65535 bytes and a byte of the
// next), what the decoder takes at a time: the next call of inflate then has nothing to do,
// which is no fault.
std::string png(picturesize size, std::uint32_t rows, char filter = 0, std::size_t flip = 0,
                std::string_view depth = std::string_view("\x08\x02\0\0\0", 5)) {
  std::string raw;
  for (std::uint32_t r = 0; r < rows; ++r) raw.append(1, filter).append(3 * size.width, '\xff');
  uLongf n = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(n, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 0);
  packed.resize(n);
  packed[flip] ^= flip != 0 ? 0x10 : 0;
  return std::string("\x89PNG\r\n\x1a\n", 8) +
         chunk("IHDR", bigendian(size.width) + bigendian(size.height) + std::string(depth)) +
         chunk("IDAT", packed.substr(0, 65548)) + chunk("IDAT", packed.substr(65548)) +
         chunk("IEND", "");
}

// Only a picture that decodes at the script's size counts: not the 20-byte fake of a signature
// and IEND, nor one with a bit flipped in a CRC, or in its image data (the CRC made right), of
// another size, of a row too few, of an unknown filter, of 6 bits a sample (24 a pixel, as the
// rows), interlaced (not rows), with a byte after IEND or cut short. gnuplot's output is two
// pictures one after the other, split where the first ends; its failure is told by its words
// (escaped), else by its end.
TEST(Picture, DecodesOnlyAWholePictureOfItsSize) {
  const picturesize size = scriptpicturesize();
  const std::string good = png(size, size.height), two = good + good;
  std::string flipped = good;
  flipped.back() ^= 0x10;  // in the CRC of IEND
  for (const std::string& bad :
       {std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IEND", ""), flipped,
        png(size, size.height, 0, 20), png({size.width + 1, size.height}, size.height),
        png(size, size.height - 1), png(size, size.height, 5),
        png(size, size.height, 0, 0, std::string_view("\x06\x06\0\0\0", 5)),
        png(size, size.height, 0, 0, std::string_view("\x08\x02\0\0\1", 5)), good + '\0',
        good.substr(0, good.size() - 1)})
    EXPECT_NE(decoded(bad, size), bad.size()) << bad.size() << " bytes";
  EXPECT_EQ(decoded(good, size), good.size());
  const std::array<std::string_view, 2> split = judge(0, two, "");
  EXPECT_TRUE(split[0] == good && split[1] == good);
  const auto told = [](int status, std::string_view out, std::string_view said) {
    return refusal([&] { judge(status, out, said); }).substr(37);  // after "...pictures: "
  };
  EXPECT_EQ(told(0, good, ""), "convergence.png: not drawn");
  EXPECT_EQ(told(0, two + '\0', "").substr(0, 32), "convergence.png: not a whole PNG");
  EXPECT_EQ(told(0, "", ""), "eigenfunctions.png: not drawn");
  EXPECT_EQ(told(1 << 8, two, ""), "exit status 1");
  EXPECT_EQ(told(SIGKILL, two, "\n  \n"), "it wrote empty lines");
  // gnuplot's error line, without the name of the script, after its echo of the command and a
  // caret; else its last line.
  EXPECT_EQ(told(1 << 8, "", "  \"/dev/stdin\" line 12: undefined variable: n\nnext\n"),
            "line 12: undefined variable: n");
  EXPECT_EQ(
      told(1 << 8, "", "\nset term qt\n         ^\nline 0: unknown terminal\n\nWARNING: Error\n"),
      "line 0: unknown terminal");
  EXPECT_EQ(told(1 << 8, "", "line 1x: not a line number\nline : nor this\n  last  \n"), "last  ");
  EXPECT_EQ(told(SIGKILL, two, ""), "ended by signal 9");
}

// gnuplot run on pipes by a stand-in that echoes its input while it reads it: 4 MiB, more than
// any pipe holds, come back whole (no side waits for the other), with its words on their pipe,
// and the caller's signal dispositions (a handler of TERM, SIGCHLD ignored) come back after it.
TEST(Gnuplot, RunsOnPipesAndGivesTheSignalsBack) {
  testdir dir;
  std::ofstream(dir.path / "gnuplot") << "#!/bin/sh\necho \"  said\" >&2\nexec cat\n";
  std::filesystem::permissions(dir.path / "gnuplot", std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (dir.path.string() + ":" + path).c_str(), 1);
  void (*const handler)(int) = [](int) {};
  const auto termbefore = std::signal(SIGTERM, handler),
             childbefore = std::signal(SIGCHLD, SIG_IGN);
  std::string input(std::size_t{4} << 20, 'x');
  for (std::size_t i = 0; i < input.size(); i += 4099) input[i] = static_cast<char>(i);
  const gnuplotrun run = rungnuplot(input, 60, input.size());
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.said, "  said\n");
  EXPECT_TRUE(run.out == input) << run.out.size() << " bytes back";
  EXPECT_EQ(std::signal(SIGTERM, termbefore), handler);
  EXPECT_EQ(std::signal(SIGCHLD, childbefore), SIG_IGN);
}

}  // namespace
}  // namespace eigenshoot
