// Judging what gnuplot did: its pictures are decoded in full (zlib checks every CRC and inflates
// the image data), and its words are told as an error when it failed.
#include "plot/picture.h"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "base/base.h"
#include "output/terminal.h"
#include "plotscript.h"

namespace eigenshoot {

namespace {

// The size that the script's terminal gives every picture, read from the script's text when
// the command is compiled: the script is the one place where it is said. (Read character by
// character: the library's searches are not constant expressions under the sanitizers.)
constexpr char terminalline[] = "set terminal pngcairo size ";
// The number written at `at` of the script, and where it ends.
constexpr std::uint32_t scriptnumber(std::size_t& at) {
  std::uint32_t value = 0;
  for (; plotscripttext[at] >= '0' && plotscripttext[at] <= '9'; ++at)
    value = value * 10 + static_cast<std::uint32_t>(plotscripttext[at] - '0');
  return value;
}
constexpr picturesize parsedsize() {
  for (std::size_t line = 0; plotscripttext[line] != '\0'; ++line) {
    std::size_t at = line, i = 0;
    while (terminalline[i] != '\0' && plotscripttext[at] == terminalline[i]) ++at, ++i;
    if (terminalline[i] != '\0') continue;
    const std::uint32_t width = scriptnumber(at);
    if (plotscripttext[at] != ',') return {0, 0};
    return {width, scriptnumber(++at)};
  }
  return {0, 0};
}
constexpr picturesize scriptsize = parsedsize();
static_assert(scriptsize.width > 0 && scriptsize.height > 0,
              "plot/eigenshoot-plot.gp must set its terminal as: set terminal pngcairo size W,H");

std::uint32_t bigendian(const char* at) {
  const auto byte = [at](int i) { return std::uint32_t{static_cast<unsigned char>(at[i])}; };
  return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

// zlib's inflation of a picture's image data, ended when it goes.
class inflation {
 public:
  inflation() { ready_ = inflateInit(&stream_) == Z_OK; }
  ~inflation() {
    if (ready_) inflateEnd(&stream_);
  }
  inflation(const inflation&) = delete;
  inflation& operator=(const inflation&) = delete;

  // Inflates `data`, the next part of the image data, into rows of `rowbytes` bytes each
  // beginning with a filter type (0 to 4): false when the data are not a zlib stream, go on
  // after its end or make more than `most` bytes.
  bool add(std::string_view data, std::uint64_t rowbytes, std::uint64_t most) {
    if (!ready_ || (ended_ && !data.empty())) return data.empty();
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream_.avail_in = static_cast<uInt>(data.size());
    do {
      stream_.next_out = rows_.data();
      stream_.avail_out = static_cast<uInt>(rows_.size());
      const int result = inflate(&stream_, Z_NO_FLUSH);
      if (result == Z_BUF_ERROR && stream_.avail_in == 0) break;  // on in the next chunk
      if (result != Z_OK && result != Z_STREAM_END) return 0;
      const std::uint64_t made = rows_.size() - stream_.avail_out;
      if (made > most - inflated_) return 0;
      for (; nextrow_ < inflated_ + made; nextrow_ += rowbytes)
        if (rows_[nextrow_ - inflated_] > 4) return 0;
      inflated_ += made;
      if (result == Z_STREAM_END) {
        ended_ = true;
        return stream_.avail_in == 0;
      }
    } while (stream_.avail_in > 0 || stream_.avail_out == 0);
    return true;
  }
  // Whether the stream has ended after exactly `bytes` bytes.
  bool complete(std::uint64_t bytes) const { return ended_ && inflated_ == bytes; }

 private:
  z_stream stream_{};
  bool ready_ = false, ended_ = false;
  std::uint64_t inflated_ = 0, nextrow_ = 0;
  std::vector<Bytef> rows_ = std::vector<Bytef>(65536);  // not on the stack: frames stay small
};

}  // namespace

picturesize scriptpicturesize() {
  return scriptsize;
}

std::size_t largestpicture() {
  return 2 * (4 * std::size_t{scriptsize.width} + 1) * scriptsize.height + 65536;
}

std::size_t decoded(std::string_view png, picturesize size) {
  const std::size_t whole = png.size();
  if (!png.starts_with(std::string_view("\x89PNG\r\n\x1a\n", 8))) return 0;
  png.remove_prefix(8);
  inflation image;
  std::uint64_t rowbytes = 0, bytes = 0;
  enum { noheader, beforedata, indata, afterdata } at = noheader;
  while (png.size() >= 12) {  // length, type, data, CRC
    const std::uint32_t length = bigendian(png.data());
    if (length > 0x7fffffff || length > png.size() - 12) return 0;
    const std::string_view type = png.substr(4, 4), data = png.substr(8, length);
    const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(png.data() + 4),
                            static_cast<uInt>(4 + length));
    if (crc != bigendian(png.data() + 8 + length)) return 0;
    png.remove_prefix(12 + length);
    if (at == noheader) {
      // Width, height, bit depth, colour type, compression, filter method, interlacing.
      if (type != "IHDR" || length != 13 || bigendian(data.data()) != size.width ||
          bigendian(data.data() + 4) != size.height ||
          data.substr(10, 3) != std::string_view("\0\0\0", 3))
        return 0;
      constexpr std::array<int, 7> channels = {1, 0, 3, 1, 2, 0, 4};  // of each colour type
      const int depth = data[8], colour = data[9];
      // 8 and 16 bits a sample, but 16 not for a palette; 1, 2 and 4 for grey and a palette.
      const bool sampled = depth == 8 || depth == 16 ? colour != 3 || depth == 8
                                                     : (colour == 0 || colour == 3) &&
                                                           (depth == 1 || depth == 2 || depth == 4);
      if (colour < 0 || colour > 6 || channels[colour] == 0 || !sampled) return 0;
      rowbytes = 1 + (std::uint64_t{size.width} * channels[colour] * depth + 7) / 8;
      bytes = rowbytes * size.height;
      at = beforedata;
    } else if (type == "IDAT") {
      if (at == afterdata || !image.add(data, rowbytes, bytes)) return 0;
      at = indata;
    } else if (type == "IHDR") {
      return 0;
    } else {
      if (at == indata) at = afterdata;
      if (type == "IEND") return length == 0 && image.complete(bytes) ? whole - png.size() : 0;
    }
  }
  return 0;
}

std::vector<std::string_view> saidlines(std::string_view said) {
  std::vector<std::string_view> lines;
  while (!said.empty()) {
    std::string_view line = said.substr(0, said.find('\n'));
    said.remove_prefix(std::min(line.size() + 1, said.size()));
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string_view toldline(std::string_view said) {
  const std::vector<std::string_view> lines = saidlines(said);
  for (const std::string_view line : lines) {
    std::string_view at = line;
    if (at.starts_with('"')) at.remove_prefix(std::min(at.find("\" ", 1) + 2, at.size()));
    if (at.starts_with("line ") && at.find_first_not_of("0123456789", 5) > 5 &&
        at.find_first_not_of("0123456789", 5) == at.find(':')) {
      return at;
    }
  }
  return lines.empty() ? std::string_view() : lines.back();
}

std::array<std::string_view, 2> judge(int status, std::string_view out, std::string_view said) {
  if (WIFSIGNALED(status) || WEXITSTATUS(status) != 0) {
    const std::string_view words = toldline(said);
    throw fatalerror("gnuplot could not draw the pictures: " +
                     (!said.empty() ? (words.empty() ? "it wrote empty lines" : escaped(words))
                      : WIFSIGNALED(status)
                          ? "ended by signal " + std::to_string(WTERMSIG(status))
                          : "exit status " + std::to_string(WEXITSTATUS(status))));
  }
  std::array<std::string_view, 2> pictures;
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const std::size_t size = decoded(out, scriptsize);
    if (size == 0 || (i + 1 == pictures.size() && size != out.size())) {
      throw fatalerror(std::string("gnuplot could not draw the pictures: ") + picturenames[i] +
                       (out.empty()
                            ? ": not drawn"
                            : ": not a whole PNG picture of " + std::to_string(scriptsize.width) +
                                  "x" + std::to_string(scriptsize.height) + " pixels"));
    }
    pictures[i] = out.substr(0, size);
    out.remove_prefix(size);
  }
  return pictures;
}

}  // namespace eigenshoot
