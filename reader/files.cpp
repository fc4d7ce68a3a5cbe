// Reading a file of the working directory whole, safely: a name is opened once, by the file
// rules, and everything else is asked of what was opened, so that nothing put in its place
// afterwards is read.
#include <cerrno>
#include <string>

#include "filerules/filerules.h"
#include "reader/reader.h"

#ifdef EIGENSHOOT_POSIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <fstream>
#endif

namespace eigenshoot {

#ifdef EIGENSHOOT_POSIX
std::string readfile(const char* name, std::size_t limit) {
  // Opened by the file rules: no link that another user may have planted is followed, and
  // nothing but a regular file is opened.
  const int fd = openjudged(name, purpose::read);
  if (fd < 0) {
    if (errno != ENOENT) failed(name, errno);
    failed(name, "not found here (run eigenshoot in this directory first)");
  }
  const ownedfd opened(fd);
  struct stat s;
  if (fstat(fd, &s) != 0) failed(name, errno);
  // No more than the limit and one byte is taken, whatever the size (the file may still grow).
  std::string text(limit + 1, '\0');
  std::size_t size = 0;
  while (size < text.size()) {
    const ssize_t n = read(fd, text.data() + size, text.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed(name, errno);
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
  }
  text.resize(size);
  return text;
}
#else
std::string readfile(const char* name, std::size_t limit) {
  std::ifstream file(name, std::ios::binary);
  if (!file) failed(name, "cannot be read");
  std::string text(limit + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) failed(name, "cannot be read");
  text.resize(static_cast<std::size_t>(file.gcount()));
  return text;
}
#endif

runfiles readrun() {
  runfiles run;
  readeigenfile(readfile(eigenfile, eigenfilelimit), run);
  readlogfile(readfile(logfile, logfilelimit), run);
  matchfiles(run);
  return run;
}

}  // namespace eigenshoot
