// Output units. Each unit collects its records in a fixed buffer and hands them to the
// C library in large pieces: a whole run's file fits in one buffer, so each file is written
// with a single call. Buffered output fails late (a full disk shows only when data is
// handed over, flushed or closed), so every one of those steps is checked.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "filerules/filerules.h"
#include "output/terminal.h"
#include "output/units.h"

#ifdef EIGENSHOOT_POSIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace eigenshoot {

namespace {

constexpr std::size_t capacity = std::size_t{1} << 17;

struct unit {
  int number;
  std::string name;
  std::FILE* stream;
  char* buffer;
  std::size_t used = 0;
  fileid id{};  // kept after the unit is closed, so that no later unit takes the same file
};

// Zero-filled static storage: the buffers cost nothing at start-up.
char buffers[3][capacity];
std::array<unit, 3> units = {unit{1, "", nullptr, buffers[0]}, unit{2, "", nullptr, buffers[1]},
                             unit{6, "standard output", stdout, buffers[2]}};

// A fault of the caller, kept out of line so that finding a unit, once for every record, stays
// small enough to be inlined.
[[noreturn]] void nounit(int number, const char* why) {
  throw std::invalid_argument("output unit " + std::to_string(number) + why);
}

unit& find(int number) {
  const int slot = number == 6 ? 2 : number - 1;
  if (slot >= 0 && slot < 3 && units[slot].number == number) return units[slot];
  nounit(number, " does not exist");
}

unit& openfound(int number) {
  unit& u = find(number);
  if (u.stream == nullptr) nounit(number, " is not open");
  return u;
}

// The C library reports the reason in errno; a stream that failed without one is an I/O error.
// The cause is taken before the message is built, which may change errno.
[[noreturn]] void failed(const unit& u) {
  const int error = errno != 0 ? errno : EIO;
  throw fatalerror(u.name + ": " + std::strerror(error));
}

// Hands the pending records to the system and checks that they were taken. Records that were
// refused are not offered again: a later close reports only its own fault.
void drain(unit& u) {
  errno = 0;
  const std::size_t pending = std::exchange(u.used, 0);
  if (pending != 0 && std::fwrite(u.buffer, 1, pending, u.stream) != pending) failed(u);
  if (std::fflush(u.stream) != 0) failed(u);
}

// Room for a record of n characters and its line terminator.
char* reserve(unit& u, std::size_t n) {
  if (u.used + n + 1 > capacity) {
    if (n + 1 > capacity) throw std::invalid_argument("output record too long");
    drain(u);
  }
  return u.buffer + u.used;
}

void commit(unit& u, char* end) {
  *end = '\n';
  u.used = static_cast<std::size_t>(end + 1 - u.buffer);
}

#ifdef EIGENSHOOT_POSIX
// Opens the unit's file for writing by the file rules, without blocking on a FIFO that has no
// reader and without truncating it, makes sure that no other destination of this run writes to
// the same file, and only then empties it. A FIFO with a reader is written with blocking writes
// as usual.
std::FILE* openfile(unit& u) {
  const int fd = openjudged(u.name.c_str(), purpose::write);
  if (fd < 0) failed(u);
  const auto refuse = [&](const std::string& why) {
    close(fd);
    throw fatalerror(u.name + ": " + why);
  };
  const int flags = fcntl(fd, F_GETFL);
  struct stat s;
  if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1 || fstat(fd, &s) != 0) {
    refuse(std::strerror(errno));
  }
  u.id = identify(fd);
  if (u.id.known) {
    for (const unit& other : units) {
      if (&other != &u && other.id == u.id) refuse("same file as " + other.name);
    }
    if (identify(1) == u.id) refuse("same file as standard output");
    if (identify(2) == u.id) refuse("same file as standard error");
  }
  if (S_ISREG(s.st_mode) && ftruncate(fd, 0) != 0) refuse(std::strerror(errno));
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) refuse(std::strerror(errno));
  return stream;
}
#else
std::FILE* openfile(unit& u) {
  errno = 0;
  std::FILE* stream = std::fopen(u.name.c_str(), "wb");
  if (stream == nullptr) failed(u);
  return stream;
}
#endif

}  // namespace

// A descriptor 0, 1 or 2 that is closed at start-up would be handed to the first file opened,
// and records meant for standard output or diagnostics would land in that file. Each closed
// one is taken by /dev/null opened for reading only, so that writes to it fail and are
// reported. A file-size limit makes a write fail with EFBIG, and a reader that has gone away a
// write fail with EPIPE, rather than kill the process: both are reported like any other failed
// write. Standard output, like every unit's file, is written straight from the unit's buffer.
void prepareoutput() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
#ifdef EIGENSHOOT_POSIX
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    errno = 0;
    if (open("/dev/null", O_RDONLY) != fd) {
      const int error = errno;
      throw fatalerror(std::string("/dev/null: ") + std::strerror(error));
    }
  }
#endif
  ignorewritesignals();
}

void openunit(int number, const char* name) {
  unit& u = find(number);
  if (number == 6 || u.stream != nullptr) throw std::invalid_argument("output unit already open");
  u.name = name;
  u.used = 0;
  u.stream = openfile(u);
  std::setvbuf(u.stream, nullptr, _IONBF, 0);  // the unit's buffer is the only one
}

void writerecord(int number, const format& f, std::span<const item> items) {
  unit& u = openfound(number);
  commit(u, layout(reserve(u, static_cast<std::size_t>(f.width())), f, items));
}

char* recordroom(int number, std::size_t n) {
  return reserve(openfound(number), n);
}

void commitrecord(int number, char* end) {
  commit(find(number), end);
}

void writerecord(int number, std::span<const item> items) {
  unit& u = openfound(number);
  commit(u, listed(reserve(u, listedsize(items)), items));
}

void writetext(int number, std::string_view text) {
  unit& u = openfound(number);
  char* out = reserve(u, text.size());
  u.used = static_cast<std::size_t>(std::copy(text.begin(), text.end(), out) - u.buffer);
}

void flushunit(int number) {
  drain(openfound(number));
}

// The stream is closed even when what was pending cannot be handed over; the first fault is
// the one reported.
void closeunit(int number) {
  unit& u = find(number);
  if (u.stream == nullptr) return;
  std::FILE* const stream = std::exchange(u.stream, nullptr);
  const std::size_t pending = std::exchange(u.used, 0);
  errno = 0;
  const bool handed = (pending == 0 || std::fwrite(u.buffer, 1, pending, stream) == pending) &&
                      std::fflush(stream) == 0;
  int fault = handed ? 0 : errno != 0 ? errno : EIO;
  errno = 0;
  if (std::fclose(stream) != 0 && fault == 0) fault = errno != 0 ? errno : EIO;
  if (fault != 0) {
    errno = fault;
    failed(u);
  }
}

void closeunits() {
  for (unit& u : units) closeunit(u.number);
}

// Standard output is closed first, so that what the command printed before it stopped comes
// before the diagnostic where both go to one place (a terminal, or 2>&1 into a pipe); its own
// fault, if any, follows the diagnostic.
int stopped(const char* program, const std::exception& failure) {
  const auto tell = [program](const std::exception& what) {
    std::fprintf(stderr, "%s: %s\n", program, escaped(what.what()).c_str());
  };
  std::string outputfault;
  try {
    closeunit(6);
  } catch (const std::exception& fault) {
    outputfault = fault.what();
  }
  tell(failure);
  for (const int unit : {1, 2}) {
    try {
      closeunit(unit);
    } catch (const std::exception& fault) {
      tell(fault);
    }
  }
  if (!outputfault.empty()) tell(fatalerror(outputfault));
  return 1;
}

}  // namespace eigenshoot
