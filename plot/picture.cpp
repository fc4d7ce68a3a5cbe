// Judging what gnuplot did: its pictures are decoded in full (zlib checks every CRC and inflates
// the image data), and its words are told as an error when it failed, as warnings when it did
// not.
#include "plot/picture.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include "base/base.h"
#include "output/texts.h"
#include "output/terminal.h"
#include "plot/scratch.h"
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
      if (result != Z_OK && result != Z_STREAM_END) return false;
      const std::uint64_t made = rows_.size() - stream_.avail_out;
      if (made > most - inflated_) return false;
      for (; nextrow_ < inflated_ + made; nextrow_ += rowbytes) {
        if (rows_[nextrow_ - inflated_] > 4) return false;
      }
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

// Reads the file `name` of the directory open as `dir`, opened only if it is a regular file,
// neither followed as a link nor waited for as a FIFO: up to `most` bytes of it, one more when
// it is larger. Returns 0, the error of the reading, or -1 for a file that is not regular.
int readregular(int dir, const char* name, std::size_t most, std::string& text) {
  struct stat s;
  text.clear();
  if (fstatat(dir, name, &s, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (!S_ISREG(s.st_mode)) return -1;  // a FIFO is not even opened
  const int fd = openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = fstat(fd, &s) != 0 ? errno : S_ISREG(s.st_mode) ? 0 : -1;
  text.resize(error == 0 ? std::min(static_cast<std::size_t>(s.st_size), most) + 1 : 0);
  std::size_t size = 0;
  while (size < text.size()) {
    const ssize_t n = pread(fd, text.data() + size, text.size() - size, static_cast<off_t>(size));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
  }
  close(fd);
  text.resize(size);
  return error;
}

}  // namespace

picturesize scriptpicturesize() {
  return scriptsize;
}

bool decodes(std::string_view png, picturesize size) {
  if (!png.starts_with(std::string_view("\x89PNG\r\n\x1a\n", 8))) return false;
  png.remove_prefix(8);
  inflation image;
  std::uint64_t rowbytes = 0, bytes = 0;
  enum { noheader, beforedata, indata, afterdata } at = noheader;
  while (png.size() >= 12) {  // length, type, data, CRC
    const std::uint32_t length = bigendian(png.data());
    if (length > 0x7fffffff || length > png.size() - 12) return false;
    const std::string_view type = png.substr(4, 4), data = png.substr(8, length);
    const uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(png.data() + 4),
                            static_cast<uInt>(4 + length));
    if (crc != bigendian(png.data() + 8 + length)) return false;
    png.remove_prefix(12 + length);
    if (at == noheader) {
      // Width, height, bit depth, colour type, compression, filter method, interlacing.
      if (type != "IHDR" || length != 13 || bigendian(data.data()) != size.width ||
          bigendian(data.data() + 4) != size.height ||
          data.substr(10, 3) != std::string_view("\0\0\0", 3))
        return false;
      constexpr std::array<int, 7> channels = {1, 0, 3, 1, 2, 0, 4};  // of each colour type
      const int depth = data[8], colour = data[9];
      // 8 and 16 bits a sample, but 16 not for a palette; 1, 2 and 4 for grey and a palette.
      const bool sampled = depth == 8 || depth == 16 ? colour != 3 || depth == 8
                                                     : (colour == 0 || colour == 3) &&
                                                           (depth == 1 || depth == 2 || depth == 4);
      if (colour < 0 || colour > 6 || channels[colour] == 0 || !sampled) return false;
      rowbytes = 1 + (std::uint64_t{size.width} * channels[colour] * depth + 7) / 8;
      bytes = rowbytes * size.height;
      at = beforedata;
    } else if (type == "IDAT") {
      if (at == afterdata || !image.add(data, rowbytes, bytes)) return false;
      at = indata;
    } else if (type == "IHDR") {
      return false;
    } else {
      if (at == indata) at = afterdata;
      if (type == "IEND") return length == 0 && png.empty() && image.complete(bytes);
    }
  }
  return false;
}

std::string_view toldline(std::string_view said) {
  std::string_view last;
  while (!said.empty()) {
    std::string_view line = said.substr(0, said.find('\n'));
    said.remove_prefix(std::min(line.size() + 1, said.size()));
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (line.empty()) continue;
    last = line;
    std::string_view at = line;
    if (at.starts_with('"')) at.remove_prefix(std::min(at.find("\" ", 1) + 2, at.size()));
    if (at.starts_with("line ") && at.find_first_not_of("0123456789", 5) > 5 &&
        at.find_first_not_of("0123456789", 5) == at.find(':')) {
      return line;
    }
  }
  return last;
}

std::string judge(int dir, const char* where, int status) {
  std::string said;
  if (const int error = readregular(dir, gnuplotout, 4096, said); error != 0) {
    throw fatalerror(std::string(where) + "/" + gnuplotout + ": " +
                     (error < 0 ? "not a regular file" : std::strerror(error)));
  }
  said.resize(std::min<std::size_t>(said.size(), 4096));
  std::string why;
  if (WIFSIGNALED(status) || WEXITSTATUS(status) != 0) {
    const std::string_view words = toldline(said);
    why = !said.empty()         ? (words.empty() ? "it wrote empty lines" : escaped(words))
          : WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                                : "exit status " + std::to_string(WEXITSTATUS(status));
  }
  // The largest PNG file of a picture: its rows stored uncompressed, with room to spare for
  // the framing of chunks and blocks.
  const std::size_t most = 2 * (4 * std::size_t{scriptsize.width} + 1) * scriptsize.height + 65536;
  for (std::size_t i = 0; i < pictures.size() && why.empty(); ++i) {
    std::string png;
    const int error = readregular(dir, pictures[i], most, png);
    if (error == ENOENT) {
      why = std::string(pictures[i]) + ": not drawn";
    } else if (error != 0 || !decodes(png, scriptsize)) {
      why = std::string(pictures[i]) + ": not a whole PNG picture of " +
            std::to_string(scriptsize.width) + "x" + std::to_string(scriptsize.height) + " pixels";
    }
  }
  if (!why.empty()) throw fatalerror("gnuplot could not draw the pictures: " + why);
  // What gnuplot said while it succeeded: each line of it that is not blank, without the
  // indentation, escaped.
  std::string warnings;
  for (std::string_view rest = said; !rest.empty();) {
    std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(line.size() + 1, rest.size()));
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (!line.empty()) warnings += escaped(line) + "\n";
  }
  return warnings;
}

}  // namespace eigenshoot
