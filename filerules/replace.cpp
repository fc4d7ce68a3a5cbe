// New files put in place in the working directory, all or none: each is written in full under
// a name of its own, and only then are they renamed over the old ones, which are kept aside
// until all are in place.
// Another user's file in a sticky world-writable directory is not replaced.
#include "filerules/filerules.h"

#ifdef EIGENSHOOT_POSIX  // the plot command, its only user, is built only there
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "base/base.h"

namespace eigenshoot {

void replacefiles(std::span<const newfile> files) {
  const std::string tag = "." + std::to_string(getpid());
  std::vector<std::string> fresh, kept;
  std::size_t placed = 0;
  // Everything undone, and the failure of `name` told.
  const auto undo = [&](const char* name, int error) {
    for (std::size_t i = 0; i < kept.size(); ++i) {
      if (rename(kept[i].c_str(), files[i].name) != 0 && i < placed) unlink(files[i].name);
    }
    for (const std::string& made : fresh) unlink(made.c_str());
    failed(name, error);
  };
  for (const newfile& file : files) judgereplaced(file.name);
  for (const newfile& file : files) {
    fresh.push_back("." + std::string(file.name) + tag + ".new");
    const int fd = open(fresh.back().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      fresh.pop_back();
      undo(file.name, errno);
    }
    std::size_t done = 0;
    ssize_t n = 1;
    while (n > 0 && done < file.bytes.size()) {
      n = write(fd, file.bytes.data() + done, file.bytes.size() - done);
      done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    const int error = n < 0 ? errno : n == 0 ? ENOSPC : 0;
    if (close(fd) != 0 || error != 0) undo(file.name, error != 0 ? error : errno);
  }
  for (const newfile& file : files) {
    struct stat old;
    if (lstat(file.name, &old) == 0 && S_ISDIR(old.st_mode)) undo(file.name, EISDIR);
    kept.push_back("." + std::string(file.name) + tag + ".old");
    if (rename(file.name, kept.back().c_str()) != 0 && errno != ENOENT) undo(file.name, errno);
    if (rename(fresh[placed].c_str(), file.name) != 0) undo(file.name, errno);
    ++placed;
  }
  for (const std::string& name : kept) unlink(name.c_str());
}

}  // namespace eigenshoot
#endif
