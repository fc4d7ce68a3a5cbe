// Output units. Each unit collects its records in a fixed buffer and hands them to the
// C library in large pieces: a whole run's file fits in one buffer, so each file is written
// with a single call. Buffered output fails late (a full disk shows only when data is
// handed over, flushed or closed), so every one of those steps is checked.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "output/output.h"

#ifdef EIGENSHOOT_POSIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace eigenshoot {

namespace {

constexpr std::size_t capacity = std::size_t{1} << 17;

// The file behind a descriptor, as far as two destinations must not share it: any file but a
// character device (a terminal or /dev/null may well take several destinations at once).
struct fileid {
#ifdef EIGENSHOOT_POSIX
  dev_t device = 0;
  ino_t inode = 0;
#endif
  bool known = false;
  bool operator==(const fileid&) const = default;
};

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
[[noreturn]] void failed(const unit& u) {
  throw fatalerror(u.name + ": " + std::strerror(errno != 0 ? errno : EIO));
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
fileid identify(const struct stat& s) {
  return S_ISCHR(s.st_mode) ? fileid{} : fileid{s.st_dev, s.st_ino, true};
}

fileid identify(int fd) {
  struct stat s;
  return fstat(fd, &s) == 0 ? identify(s) : fileid{};
}

// A directory that every user may write to and whose entries only their owners (or the
// directory's) may remove or rename, such as /tmp.
bool sharedsticky(const struct stat& directory) {
  return (directory.st_mode & S_ISVTX) != 0 && (directory.st_mode & S_IWOTH) != 0;
}

// The directory part of a path: "." for a bare name, "/" for a name at the root.
std::string parentof(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

// Whether an entry of this owner in the directory may have been put there by another user to
// trap the run: the directory is sticky and world-writable, and the owner is neither the caller
// nor the directory's owner. An entry of the caller's own costs no look at the directory.
bool planted(uid_t owner, const std::string& directory) {
  struct stat d;
  return owner != geteuid() && stat(directory.c_str(), &d) == 0 && sharedsticky(d) &&
         owner != d.st_uid;
}

// Why an existing file that the name leads to (through a link when `link`) must not be written,
// or nullptr. Where the kernel does not protect regular files and FIFOs in sticky
// world-writable directories (that protection can be off), the run refuses as it would: such a
// file there owned neither by the caller nor by the directory's owner is not written, since
// another user may have put it there, as a hard link to a file of a third user that the run
// would overwrite or as a file or FIFO of their own that would receive the run's output. The
// directory is the one that holds the file: for a link, the one its target is in.
const char* plantedfile(const std::string& name, const struct stat& file, bool link) {
  if ((!S_ISREG(file.st_mode) && !S_ISFIFO(file.st_mode)) || file.st_uid == geteuid()) {
    return nullptr;
  }
  std::string directory;
  if (link) {
    char path[PATH_MAX];
    if (realpath(name.c_str(), path) == nullptr) return std::strerror(errno);
    directory = parentof(path);
  } else {
    directory = parentof(name);
  }
  if (!planted(file.st_uid, directory)) return nullptr;
  return S_ISFIFO(file.st_mode) ? "not writing to a FIFO of another user in a sticky directory"
                                : "not writing to a file of another user in a sticky directory";
}

// Where opening a name that leads to no file, with O_CREAT, would create one: the directory it
// would be created in, identified, and its name there. The name may be a symbolic link that leads
// nowhere yet, through other links; the place is then the one at the end of the chain. False
// when the name leads to a file after all or the place cannot be found.
struct place {
  fileid directory;
  std::string_view entry;
};
bool creationplace(const char* name, char (&path)[PATH_MAX], place& where) {
  if (std::strlen(name) >= PATH_MAX) return false;
  std::strcpy(path, name);
  for (int links = 0;; ++links) {
    struct stat s;
    if (lstat(path, &s) == 0) {
      if (!S_ISLNK(s.st_mode) || links == 40) return false;  // a file, or a loop of links
      char target[PATH_MAX];
      const ssize_t n = readlink(path, target, sizeof target - 1);
      if (n <= 0) return false;
      target[n] = '\0';
      // A relative target is taken from the link's directory.
      char* const slash = std::strrchr(path, '/');
      const std::size_t kept = target[0] == '/' || slash == nullptr ? 0 : slash + 1 - path;
      if (kept + static_cast<std::size_t>(n) >= PATH_MAX) return false;
      std::memcpy(path + kept, target, static_cast<std::size_t>(n) + 1);
    } else {
      if (errno != ENOENT) return false;
      const char* const slash = std::strrchr(path, '/');
      const std::string directory = parentof(path);
      struct stat d;
      if (stat(directory.c_str(), &d) != 0) return false;
      where = {fileid{d.st_dev, d.st_ino, true}, slash == nullptr ? path : slash + 1};
      return true;
    }
  }
}

// Opens the unit's file for writing without blocking on a FIFO that has no reader and without
// truncating it, makes sure that no other destination of this run writes to the same file, and
// only then empties it. A FIFO with a reader is written with blocking writes as usual.
std::FILE* openfile(unit& u) {
  // A name that was no link when it was looked at must not have become one since.
  const bool link = followable(u.name);
  errno = 0;
  const int fd = open(u.name.c_str(),
                      O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | (link ? 0 : O_NOFOLLOW), 0666);
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
  if (const char* why = plantedfile(u.name, s, link)) refuse(why);
  u.id = identify(s);
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

#ifdef EIGENSHOOT_POSIX
// Where the kernel does not protect symbolic links in sticky world-writable directories such
// as /tmp (that protection can be off), the commands refuse as it would: a link there owned
// neither by the caller nor by the directory's owner is not followed, since another user may
// have planted it to make a run overwrite a file of the caller's, or the plot command open a
// device or a file of the caller's.
bool followable(const std::string& name) {
  struct stat link;
  if (lstat(name.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return false;
  if (planted(link.st_uid, parentof(name))) {
    throw fatalerror(name +
                     ": not following a symbolic link of another user in a sticky directory");
  }
  return true;
}
#else
bool followable(const std::string&) {
  return false;
}
#endif

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
    if (open("/dev/null", O_RDONLY) != fd)
      throw fatalerror(std::string("/dev/null: ") + std::strerror(errno));
  }
#endif
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

// Without a heap allocation: the run itself needs none. Two names that lead to no file yet are
// the same file to be when one of them is a symbolic link that leads nowhere yet (its target
// would be created by the first open, and then written by both); their places are found only
// then.
void claimfiles(std::initializer_list<const char*> names) {
#ifdef EIGENSHOOT_POSIX
  struct claim {
    const char* name;
    fileid id;
    bool exists = true;
    bool link = false;
  };
  std::array<claim, 8> claimed{claim{"standard output", identify(1)},
                               claim{"standard error", identify(2)}};
  std::size_t count = 2;
  for (const char* name : names) {
    if (count == claimed.size()) throw std::invalid_argument("too many files to claim");
    claim& c = claimed[count];
    c = {name, fileid{}, false, followable(name)};
    struct stat s;
    if (stat(name, &s) == 0) {
      if (const char* why = plantedfile(name, s, c.link)) {
        throw fatalerror(std::string(name) + ": " + why);
      }
      c.id = identify(s);
      c.exists = true;
    }
    char path[PATH_MAX], otherpath[PATH_MAX];
    place here{}, there{};
    bool placed = false;
    for (std::size_t other = 0; other < count; ++other) {
      const claim& o = claimed[other];
      const bool same = c.exists
                            ? c.id.known && c.id == o.id
                            : !o.exists && (c.link || o.link) &&
                                  (placed || (placed = creationplace(name, path, here))) &&
                                  creationplace(o.name, otherpath, there) &&
                                  here.directory == there.directory && here.entry == there.entry;
      if (same) throw fatalerror(std::string(name) + ": same file as " + o.name);
    }
    ++count;
  }
#else
  static_cast<void>(names);
#endif
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

}  // namespace eigenshoot
