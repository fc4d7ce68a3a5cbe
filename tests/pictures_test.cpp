// The parts of the plot command: the decoding of a picture, the reading of gnuplot's words, and
// the scratch directory with gnuplot run in it by a stand-in.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zlib.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "base/base.h"
#include "output/texts.h"
#include "output/terminal.h"
#include "plot/gnuplot.h"
#include "plot/picture.h"
#include "plot/scratch.h"
#include "testdir.h"

namespace eigenshoot {
namespace {

std::string bigendian(std::size_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
  return bytes;
}

std::string chunk(std::string_view type, std::string_view data) {
  const std::string typed = std::string(type).append(data);
  return bigendian(data.size()) + typed +
         bigendian(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                         static_cast<uInt>(typed.size())));
}

void unedited(std::string&) {}

// A white PNG picture declared as `size` and, after it in IHDR, `depth` (8-bit RGB unless said
// otherwise), of `rows` rows of RGB each filtered by `filter`, its image data edited by `edit`,
// in two IDAT chunks. The data are stored, not compressed, and the first chunk inflates to just
// 64 KiB (a zlib header, a block of 65535 bytes and a byte of the next), what the decoder takes
// at a time: the next call of inflate then has nothing to do, which is no fault.
std::string png(picturesize size, std::uint32_t rows, char filter = 0,
                void (*edit)(std::string&) = unedited,
                std::string_view depth = std::string_view("\x08\x02\0\0\0", 5)) {
  std::string raw;
  for (std::uint32_t r = 0; r < rows; ++r) raw.append(1, filter).append(3 * size.width, '\xff');
  uLongf n = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(n, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 0);
  packed.resize(n);
  edit(packed);
  using namespace std::string_literals;
  return "\x89PNG\r\n\x1a\n"s +
         chunk("IHDR", bigendian(size.width) + bigendian(size.height) + std::string(depth)) +
         chunk("IDAT", packed.substr(0, 65548)) + chunk("IDAT", packed.substr(65548)) +
         chunk("IEND", "");
}

// Only a picture that decodes at the script's size counts: not the 20-byte fake of a signature
// and IEND, nor one with a bit flipped in a CRC, or in its image data (the CRC made right), of
// another size, of a row too few, of an unknown filter, of 6 bits a sample (24 a pixel, as the
// rows), interlaced (not rows), with a byte after IEND or cut short.
TEST(Picture, DecodesOnlyAWholePictureOfItsSize) {
  const picturesize size = scriptpicturesize();
  const std::string good = png(size, size.height);
  std::string flipped = good;
  flipped.back() ^= 0x10;  // in the CRC of IEND
  const std::string rows[] = {
      std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IEND", ""),
      flipped,
      png(size, size.height, 0, [](std::string& packed) { packed[20] ^= 0x10; }),
      png({size.width + 1, size.height}, size.height),
      png(size, size.height - 1),
      png(size, size.height, 5),
      png(size, size.height, 0, unedited, std::string_view("\x06\x06\0\0\0", 5)),
      png(size, size.height, 0, unedited, std::string_view("\x08\x02\0\0\1", 5)),
      good + '\0',
      good.substr(0, good.size() - 1),
  };
  EXPECT_TRUE(decodes(good, size));
  for (const std::string& bad : rows) EXPECT_FALSE(decodes(bad, size)) << bad.size() << " bytes";
}

TEST(Picture, ToldLineIsGnuplotsError) {
  const struct {
    const char* said;
    const char* told;
  } rows[] = {
      {"  \"eigenshoot-plot.gp\" line 12: undefined variable: n\nnext\n",
       "\"eigenshoot-plot.gp\" line 12: undefined variable: n"},
      {"\nset term qt\n         ^\nline 0: unknown terminal\n\nWARNING: Error\n",
       "line 0: unknown terminal"},
      {"line 1x: not a line number\nline : nor this\n  last  \n", "last  "},
      {"\n  \n", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(toldline(row.said), row.told) << row.said;
}

// The scratch directory holds what gnuplot made (a deep tree and a file, left unwritable) and is
// removed with it; the signal dispositions of the caller (a handler of TERM, SIGCHLD ignored) come
// back after gnuplot's run and the directory's end. gnuplot's words go back escaped when it
// succeeded, and tell its failure otherwise (an end by a signal, pictures whole); a gnuplot.out
// that is a FIFO is not opened.
TEST(Scratch, GnuplotRunAndJudgedLeavesNothing) {
  testdir dir;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  std::filesystem::create_directory("bin");
  std::ofstream("bin/gnuplot") << "#!/bin/sh\nmkdir -p made/in/$(seq -s/ 70) && echo >made/fit\n"
                               << "echo \"$(cat ../said)\"; cp ../*.png .; chmod 0 made/in\n"
                               << "chmod 500 .; kill -$(cat ../signal) $$\n";
  std::filesystem::permissions("bin/gnuplot", std::filesystem::perms::owner_all);
  const std::string good = png(scriptpicturesize(), scriptpicturesize().height);
  std::ofstream("eigenfunctions.png") << good;
  std::ofstream("convergence.png") << good;
  const std::string path = std::getenv("PATH");
  setenv("PATH", ((dir.path / "bin").string() + ":" + path).c_str(), 1);
  struct sigaction term = {}, child = {}, now = {}, termbefore, childbefore;
  term.sa_handler = [](int) {};
  child.sa_handler = SIG_IGN;
  sigaction(SIGTERM, &term, &termbefore);
  sigaction(SIGCHLD, &child, &childbefore);
  // The warnings, or the message, when gnuplot says `said` and ends by `signal` (0: status 0).
  const auto judged = [&](const char* said, int signal) {
    std::ofstream("said") << said;
    std::ofstream("signal") << signal;
    try {
      const scratch s;
      return judge(s.fd(), s.name(), rungnuplot(s));
    } catch (const fatalerror& failure) {
      return std::string(failure.what());
    }
  };
  EXPECT_EQ(judged("Fontconfig warning: \033[31m\n", 0), "Fontconfig warning: \\033[31m\n");
  sigaction(SIGCHLD, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  EXPECT_EQ(judged("line 0: unknown terminal", SIGKILL),
            "gnuplot could not draw the pictures: line 0: unknown terminal");
  mkfifo("fifo", 0600);
  blockedwriter writer(dir.path / "fifo");
  std::ofstream("bin/gnuplot") << "#!/bin/sh\nrm gnuplot.out && ln ../fifo gnuplot.out\n";
  EXPECT_PRED_FORMAT2(testing::IsSubstring, "/gnuplot.out: not a regular file", judged("", 0));
  EXPECT_FALSE(writer.released());
  setenv("PATH", path.c_str(), 1);
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, term.sa_handler);
  sigaction(SIGTERM, &termbefore, nullptr);
  sigaction(SIGCHLD, &childbefore, nullptr);
  std::filesystem::current_path(before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 6);
}

}  // namespace
}  // namespace eigenshoot
