// Files of the working directory replaced all together or not at all, and only those that were
// judged: no file is judged by its name and then replaced by that name in a separate step.
//
// Each new file is first written in full where no name leads to it: a file with no name at all
// (O_TMPFILE) where the system has one, else a fresh temporary name made with O_EXCL and removed
// on every way out. It is then put in place:
// - where there was no file, only if none has appeared meanwhile: it is linked in under the name,
//   which fails when the name is taken, and what has appeared is judged in its turn;
// - where there was one, by exchanging the two names atomically (renameat2 RENAME_EXCHANGE, or
//   renameatx_np RENAME_SWAP on macOS) and checking that what came out is the file that was
//   judged: another is swapped back and the replacement refused. The old file waits under the
//   temporary name until every new file is in place, and is put back if one cannot be.
// Where the system or the file system cannot exchange two names (other systems, network file
// systems), the old file is kept by a second name, a hard link, checked, and the new file renamed
// over its name: a file put at the name between the link and the rename is replaced. In a sticky
// directory only the owner of the old file, the caller or the directory's owner, can put one
// there. Where the file system has no hard links, a new file goes in by a rename, which replaces
// a file that appears at the name after it was found free: such file systems have no owners.
//
// An entry at a name is replaced as an entry, as rename replaces it: a symbolic link is not
// followed, and is judged by its own owner. A directory is not replaced, nor, in a sticky
// world-writable directory, an entry of another user (see planted()).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/base.h"
#include "filerules/filerules.h"

#ifdef EIGENSHOOT_POSIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filerules/planted.h"

namespace eigenshoot {

void (*beforeplacing)(const char* name) = nullptr;

namespace {

// A name whose file changed while it was being replaced, more often than a file system does
// by itself.
constexpr const char* swapped = "another file was put in its place while it was being replaced";

// A new file on its way to its name.
struct staged {
  const newfile* file;
  int fd = -1;
  std::string temp;  // the new file's temporary name; empty while it has none
  std::string kept;  // the old file's temporary name, once the new one is in its place
};

// Makes an entry of the working directory under a fresh temporary name by `make(name)`, which
// returns whether it did, again under another name while the name is taken: the name, or ""
// with errno.
template <class maker>
std::string tempname(maker make) {
  static std::mt19937_64 random{std::random_device{}()};
  for (int tries = 0; tries < 100; ++tries) {
    char name[32];
    std::snprintf(name, sizeof name, ".eigenshoot-%016llx",
                  static_cast<unsigned long long>(random()));
    if (make(name)) return name;
    if (errno != EEXIST) break;
  }
  return "";
}

#ifdef EIGENSHOOT_RENAMEAT2
std::string procpath(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

// Links the nameless file open as `fd` under `name`, only where no file has that name.
bool linknameless(int fd, const char* name) {
  return linkat(AT_FDCWD, procpath(fd).c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
}
#endif

// Exchanges two names of the working directory atomically: 0, or -1 with errno (EINVAL,
// ENOSYS or ENOTSUP where the system or the file system cannot).
int exchange(const char* one, const char* other) {
#if defined(EIGENSHOOT_RENAMEAT2)
  return renameat2(AT_FDCWD, one, AT_FDCWD, other, RENAME_EXCHANGE);
#elif defined(EIGENSHOOT_RENAMEATX)
  return renameatx_np(AT_FDCWD, one, AT_FDCWD, other, RENAME_SWAP);
#else
  static_cast<void>(one), static_cast<void>(other);
  errno = ENOSYS;
  return -1;
#endif
}

bool samefile(const char* name, const struct stat& judged) {
  struct stat now;
  return fstatat(AT_FDCWD, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && fileof(now) == fileof(judged);
}

// Writes the new file in full where no name of the user's leads to it.
void stage(staged& s) {
#ifdef EIGENSHOOT_RENAMEAT2
  s.fd = open(".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  // It can be linked in only through /proc.
  if (s.fd >= 0 && access(procpath(s.fd).c_str(), F_OK) != 0) close(std::exchange(s.fd, -1));
#endif
  if (s.fd < 0) {
    s.temp = tempname([&](const char* name) {
      s.fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      return s.fd >= 0;
    });
  }
  std::string_view bytes = s.file->bytes;
  while (s.fd >= 0 && !bytes.empty()) {
    const ssize_t written = write(s.fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      failed(s.file->name, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  // A file with a name is closed now, so that a file system that tells of a failed write only
  // then does so before anything is replaced.
  if (s.fd < 0 || (!s.temp.empty() && close(std::exchange(s.fd, -1)) != 0))
    failed(s.file->name, errno);
}

// Puts the new file in at its name where there is none: 0, or -1 with errno (EEXIST when a file
// has appeared there).
int putnew(staged& s) {
  const char* name = s.file->name;
#ifdef EIGENSHOOT_RENAMEAT2
  if (s.temp.empty()) return linknameless(s.fd, name) ? 0 : -1;
#endif
  if (linkat(AT_FDCWD, s.temp.c_str(), AT_FDCWD, name, 0) == 0) {
    unlink(s.temp.c_str());
  } else if (errno == EEXIST || renameat(AT_FDCWD, s.temp.c_str(), AT_FDCWD, name) != 0) {
    return -1;
  }
  s.temp.clear();
  return 0;
}

// Where two names cannot be exchanged: the old file `judged` is kept under a temporary name, as a
// second name (a hard link) where it may have one, else moved there onto a file made for it; it
// is checked, and the new file renamed over the name. A file put at the name in between is
// replaced: in place of the old file, which in a sticky directory only the old file's owner may
// do, or after the old file was moved. 0, or -1 with errno (ENOENT when the old file has gone);
// throws when another file was there by then.
int swapinbyrename(staged& s, const struct stat& judged) {
  const char* name = s.file->name;
  s.kept =
      tempname([&](const char* kept) { return linkat(AT_FDCWD, name, AT_FDCWD, kept, 0) == 0; });
  bool moved = false;
  if (s.kept.empty() && errno != ENOENT) {  // another user's file, or no hard links here
    s.kept = tempname([](const char* kept) {
      const int fd = open(kept, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      return fd >= 0 && close(fd) == 0;
    });
    moved = !s.kept.empty() && renameat(AT_FDCWD, name, AT_FDCWD, s.kept.c_str()) == 0;
    if (!moved && !s.kept.empty()) {
      const int error = errno;
      unlink(std::exchange(s.kept, "").c_str());
      errno = error;
    }
  }
  if (s.kept.empty()) return -1;
  const bool same = samefile(s.kept.c_str(), judged);
  if (same && renameat(AT_FDCWD, s.temp.c_str(), AT_FDCWD, name) == 0) {
    s.temp.clear();
    return 0;
  }
  std::string told = std::string(name) + ": " + (same ? std::strerror(errno) : swapped);
  if (moved && renameat(AT_FDCWD, s.kept.c_str(), AT_FDCWD, name) != 0) {
    told += std::string("; it could not be put back: ") + std::strerror(errno);
    told += ", it is " + std::exchange(s.kept, "");  // and stays there
  }
  if (moved) s.kept.clear();  // what is left under it is a second name, or nothing
  throw fatalerror(told);
}

// Puts the new file in at its name in place of the old file `judged`, which is then kept under
// a temporary name: 0, or -1 with errno (ENOENT when the old file has gone). Throws when
// another file was there by then.
int swapin(staged& s, const struct stat& judged) {
  const char* name = s.file->name;
#ifdef EIGENSHOOT_RENAMEAT2
  if (s.temp.empty()) {
    s.temp = tempname([&](const char* temp) { return linknameless(s.fd, temp); });
    if (s.temp.empty()) return -1;
  }
#endif
  if (exchange(s.temp.c_str(), name) != 0) {
    if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) return swapinbyrename(s, judged);
    return -1;
  }
  if (!samefile(s.temp.c_str(), judged)) {
    // What came out is put back; where it cannot be, it is left where it is, and said so.
    if (exchange(s.temp.c_str(), name) == 0) throw fatalerror(std::string(name) + ": " + swapped);
    throw fatalerror(std::string(name) + ": " + swapped + "; it is kept as " +
                     std::exchange(s.temp, ""));
  }
  s.kept = std::exchange(s.temp, "");
  return 0;
}

// Judges the name of the new file and puts the file in its place.
void place(staged& s, const struct stat& directory) {
  const char* name = s.file->name;
  // A file that appears or goes meanwhile is judged again, a few times.
  for (int judgment = 0; judgment < 8; ++judgment) {
    struct stat old;
    if (fstatat(AT_FDCWD, name, &old, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) failed(name, errno);
      if (beforeplacing != nullptr) beforeplacing(name);
      if (putnew(s) == 0) return;
      if (errno != EEXIST) failed(name, errno);
      continue;
    }
    if (S_ISDIR(old.st_mode)) failed(name, EISDIR);
    if (planted(old.st_uid, directory)) {
      throw fatalerror(std::string(name) +
                       ": not replacing a file of another user in a sticky directory");
    }
    if (beforeplacing != nullptr) beforeplacing(name);
    if (swapin(s, old) == 0) return;
    if (errno != ENOENT) failed(name, errno);
  }
  throw fatalerror(std::string(name) + ": " + swapped);
}

// Puts back the old file that the placement of `s` replaced, or removes the new one where there
// was none: 0, or -1 with errno.
int undo(staged& s) {
  const char* name = s.file->name;
  if (s.kept.empty()) return unlink(name);
  if (renameat(AT_FDCWD, s.kept.c_str(), AT_FDCWD, name) != 0) return -1;
  s.kept.clear();
  return 0;
}

// Every catchable signal held off while it lives: no signal comes between two placements, nor
// leaves a temporary name behind.
class signalsblocked {
 public:
  signalsblocked() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before_);
  }
  ~signalsblocked() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
  signalsblocked(const signalsblocked&) = delete;
  signalsblocked& operator=(const signalsblocked&) = delete;

 private:
  sigset_t before_;
};

// The new files on their way; whatever is left under a temporary name when it goes, a new file
// not put in place or an old one replaced, is removed.
struct stagedfiles {
  std::vector<staged> files;
  ~stagedfiles() {
    for (staged& s : files) {
      if (s.fd >= 0) close(s.fd);
      if (!s.temp.empty()) unlink(s.temp.c_str());
      if (!s.kept.empty()) unlink(s.kept.c_str());
    }
  }
};

}  // namespace

void replacefiles(std::span<const newfile> files) {
  const signalsblocked held;
  stagedfiles all;
  all.files.reserve(files.size());
  for (const newfile& file : files)
    stage(all.files.emplace_back(staged{.file = &file, .fd = -1, .temp = {}, .kept = {}}));
  struct stat directory;
  if (stat(".", &directory) != 0) failed(files.front().name, errno);
  std::size_t placed = 0;
  try {
    for (; placed < all.files.size(); ++placed) place(all.files[placed], directory);
  } catch (const std::exception& refused) {  // out of memory too: the old files go back
    std::string told = refused.what();
    while (placed-- > 0) {
      staged& s = all.files[placed];
      if (undo(s) == 0) continue;
      told += std::string("; ") + s.file->name + " could not be put back: " + std::strerror(errno);
      // The old file stays where the message says.
      if (!s.kept.empty()) told += ", the old file is " + std::exchange(s.kept, "");
    }
    throw fatalerror(told);
  }
}

}  // namespace eigenshoot
#endif
