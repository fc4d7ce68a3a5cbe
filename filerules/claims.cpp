// The rules between the files of one command: no two destinations share a file.
#include <array>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/base.h"
#include "filerules/filerules.h"

#ifdef EIGENSHOOT_POSIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#endif

namespace eigenshoot {

#ifdef EIGENSHOOT_POSIX
fileid fileof(const struct stat& s) {
  return {static_cast<std::uint64_t>(s.st_dev), static_cast<std::uint64_t>(s.st_ino), true};
}

fileid identify(int fd) {
  struct stat s;
  if (fstat(fd, &s) != 0 || S_ISCHR(s.st_mode)) return {};
  return fileof(s);
}

int openjudged(const char* name, purpose how) {
  judgedname judged(name, how);
  return judged.open();
}

void claimfiles(std::initializer_list<const char*> names) {
  std::array<std::optional<judgedname>, 6> claimed;
  std::size_t count = 0;
  const fileid out = identify(1), err = identify(2);
  for (const char* name : names) {
    if (count == claimed.size()) throw std::invalid_argument("too many files to claim");
    const judgedname& c = claimed[count].emplace(name, purpose::write);
    const auto clash = [&](const char* other) {
      throw fatalerror(std::string(name) + ": same file as " + other);
    };
    if (c.file().known && c.file() == out) clash("standard output");
    if (c.file().known && c.file() == err) clash("standard error");
    for (std::size_t other = 0; other < count; ++other) {
      const judgedname& o = *claimed[other];
      if ((c.file().known && c.file() == o.file()) || c.sameplace(o)) clash(names.begin()[other]);
    }
    ++count;
  }
}
#else
fileid identify(int) {
  return {};
}

void claimfiles(std::initializer_list<const char*>) {}
#endif

}  // namespace eigenshoot
