// A name followed one component at a time on directory descriptors, the way the kernel resolves
// it, with every symbolic link judged before it is followed and the file at the end judged
// before it is opened.
//
// Where the platform has O_PATH (Linux), each component is held by a descriptor that opens
// nothing: a link is read and its owner taken from that very descriptor, and the file at the
// end is opened again through it, so a name swapped after it was judged changes nothing, and a
// FIFO or device that is refused is never opened. Elsewhere (macOS, the BSDs) each entry is
// looked at without following it, directories and the file at the end are opened with
// O_NOFOLLOW, and what was opened is compared with what was judged. A directory that may be
// searched but not read, which such a platform cannot hold without O_SEARCH, is passed by its
// name from the last directory held, where no other user can replace it.
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "base/base.h"
#include "filerules/filerules.h"

#ifdef EIGENSHOOT_POSIX
#include <fcntl.h>
#include <sys/stat.h>
#if defined(EIGENSHOOT_OPATH) && defined(__linux__)
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include "filerules/planted.h"

namespace eigenshoot {

namespace {

// The kernel follows at most 40 links in one resolution.
constexpr int mostlinks = 40;

// Where the platform cannot hold an entry without opening it, a name that leads elsewhere when
// opened than when judged (a race with another process) is refused.
constexpr const char* replaced = "replaced while it was being opened";

// A path as the walk has spelled it so far, for the messages: "" for the working directory. The
// directories in it are real ones, not links, so "." adds none and ".." takes the last away.
std::string joined(const std::string& where, std::string_view entry) {
  if (entry == ".") return where;
  if (entry == "..") {
    const std::size_t slash = where.rfind('/');
    const std::string_view lastone = slash == std::string::npos
                                         ? std::string_view(where)
                                         : std::string_view(where).substr(slash + 1);
    if (where == "/") return where;
    if (!where.empty() && lastone != "..")
      return where.substr(0, slash == 0 ? 1 : slash == std::string::npos ? 0 : slash);
  }
  if (where.empty()) return std::string(entry);
  return where + (where.back() == '/' ? "" : "/") + std::string(entry);
}

// Whether no user but the caller and root can remove or replace the entry in the directory
// that holds it: the directory is theirs and only they may write to it, or it is sticky and the
// entry is theirs too. A name resolved through such entries leads where it led when judged.
bool steady(const struct stat& entry, const struct stat& directory) {
  const auto trusted = [](uid_t owner) { return owner == 0 || owner == geteuid(); };
  return trusted(directory.st_uid) &&
         ((directory.st_mode & (S_IWGRP | S_IWOTH)) == 0 ||
          ((directory.st_mode & S_ISVTX) != 0 && trusted(entry.st_uid)));
}

int openfrom(int directory, const char* entry, int flags, mode_t mode = 0) {
  int fd;
  while ((fd = openat(directory, entry, flags, mode)) < 0 && errno == EINTR) {
  }
  return fd;
}

#ifdef EIGENSHOOT_OPATH
// An entry held without following it and without opening what it is: a FIFO held so has no
// reader, a device is not opened.
constexpr int holdflags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
constexpr int directoryflags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_SEARCH)
// A directory opened for searching alone: one that the caller may pass through but not list
// (mode 0711) is passed, as the kernel passes it.
constexpr int directoryflags = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int directoryflags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

}  // namespace

judgedname::judgedname(const char* name, purpose how) : name_(name), how_(how) {
  walk();
}

judgedname::~judgedname() {
  if (found_ >= 0) close(found_);
  if (directory_ >= 0) close(directory_);
}

bool judgedname::sameplace(const judgedname& other) const {
  return !exists_ && !other.exists_ && error_ == 0 && other.error_ == 0 &&
         directoryid_ == other.directoryid_ && entry_ == other.entry_;
}

void judgedname::walk() {
  if (found_ >= 0) close(found_);
  if (directory_ >= 0) close(directory_);
  found_ = directory_ = -1;
  error_ = 0;
  exists_ = false;
  file_ = {};

  std::string_view rest = name_;
  std::string followed;  // the rest of the path after a link, when one was met
  std::string where;     // the directory reached, as spelled, for the messages
  std::string route;     // the directories passed by name since the one held ("d/")
  // The working directory is held as AT_FDCWD, which is no descriptor to close.
  ownedfd directory(rest.starts_with('/') ? openfrom(AT_FDCWD, "/", directoryflags) : AT_FDCWD);
  struct stat directorystat;
  if (directory.get() == -1 || fstatat(directory.get(), ".", &directorystat, 0) != 0) {
    error_ = errno;
    return;
  }
  if (rest.starts_with('/')) where = "/";
  for (int links = 0;;) {
    rest.remove_prefix(std::min(rest.find_first_not_of('/'), rest.size()));
    const std::string_view component = rest.substr(0, rest.find('/'));
    rest.remove_prefix(component.size());
    const bool last = rest.find_first_not_of('/') == std::string_view::npos;
    const bool slash = last && !rest.empty();  // "x/": x must be a directory
    if (component.empty() || component.size() > NAME_MAX) {
      // The name is empty or ends at the root ("", "/"), which no file of the run can be.
      error_ = component.empty() ? EISDIR : ENAMETOOLONG;
      return;
    }
    char entry[NAME_MAX + 1];
    std::memcpy(entry, component.data(), component.size());
    entry[component.size()] = '\0';

    struct stat s;
#ifdef EIGENSHOOT_OPATH
    ownedfd held(openfrom(directory.get(), entry, holdflags));
    const bool seen = held.get() >= 0 && fstat(held.get(), &s) == 0;
#else
    ownedfd held;
    const std::string at = route + entry;  // the entry's name from the directory held
    const bool seen = fstatat(directory.get(), at.c_str(), &s, AT_SYMLINK_NOFOLLOW) == 0;
#endif
    if (!seen) {
      error_ = errno;
      if (error_ == ENOENT && slash && how_ == purpose::write) error_ = EISDIR;
      if (error_ == ENOENT && last && how_ == purpose::write) {  // the place of a new file
        directoryid_ = fileof(directorystat);
        directory_ = directory.release();
        route_ = route;
        entry_ = entry;
        error_ = 0;
      }
      return;
    }

#if defined(EIGENSHOOT_OPATH) && defined(__linux__)
    // A link of /proc (/dev/fd/3, /proc/self/fd/3) stands for an open file, which its text may
    // not name (a pipe, a deleted file): the kernel follows it, and the file is judged.
    struct statfs filesystem;  // 0x9fa0: PROC_SUPER_MAGIC
    if (S_ISLNK(s.st_mode) && fstatfs(held.get(), &filesystem) == 0 &&
        filesystem.f_type == 0x9fa0) {
      held.reset(openfrom(directory.get(), entry, O_PATH | O_CLOEXEC));
      if (held.get() < 0 || fstat(held.get(), &s) != 0) {
        error_ = errno;
        return;
      }
    }
#endif
    if (S_ISLNK(s.st_mode)) {
      const std::string link = joined(where, component);
      if (planted(s.st_uid, directorystat)) {
        throw fatalerror(link == name_ ? link +
                                             ": not following a symbolic link of another user "
                                             "in a sticky directory"
                                       : std::string(name_) + ": not following " + link +
                                             ", a symbolic link of another user in a sticky "
                                             "directory");
      }
      char target[PATH_MAX];
#ifdef EIGENSHOOT_OPATH
      const ssize_t n = readlinkat(held.get(), "", target, sizeof target);
#else
      const ssize_t n = readlinkat(directory.get(), at.c_str(), target, sizeof target);
#endif
      if (++links > mostlinks || n <= 0 || n == sizeof target) {
        error_ = links > mostlinks ? ELOOP : n < 0 ? errno : n == 0 ? ENOENT : ENAMETOOLONG;
        return;
      }
      // The target takes the link's place in the path; a relative one is followed from the
      // directory that holds the link, an absolute one from the root.
      followed = std::string(target, static_cast<std::size_t>(n)).append(rest);
      rest = followed;
      if (target[0] == '/') {
        ownedfd root(openfrom(AT_FDCWD, "/", directoryflags));
        if (root.get() < 0 || fstat(root.get(), &directorystat) != 0) {
          error_ = errno;
          return;
        }
        directory.reset(root.release());
        route.clear();
        where = "/";
      }
      continue;
    }

    if (slash && !S_ISDIR(s.st_mode)) {
      error_ = ENOTDIR;
      return;
    }
    if (last) {
      // The file at the end of the walk, judged for what will be done with it.
      if (how_ == purpose::read && !S_ISREG(s.st_mode)) {
        throw fatalerror(std::string(name_) + ": not a regular file");
      }
      if (how_ == purpose::write && !S_ISDIR(s.st_mode) && plantedfile(s, directorystat)) {
        throw fatalerror(std::string(name_) +
                         (S_ISFIFO(s.st_mode)
                              ? ": not writing to a FIFO of another user in a sticky directory"
                              : ": not writing to a file of another user in a sticky directory"));
      }
      exists_ = true;
      judged_ = fileof(s);
      file_ = S_ISCHR(s.st_mode) ? fileid{} : judged_;
      steady_ = steady(s, directorystat);
      found_ = held.release();
      directory_ = directory.release();
      route_ = route;
      entry_ = entry;
      return;
    }

    if (!S_ISDIR(s.st_mode)) {
      error_ = ENOTDIR;
      return;
    }
#ifdef EIGENSHOOT_OPATH
    directory.reset(held.release());
#else
    // The directory judged must be the one entered: it is opened without following a link that
    // has taken its place.
    ownedfd entered(openfrom(directory.get(), at.c_str(), directoryflags | O_NOFOLLOW));
    struct stat e;
    if (entered.get() >= 0 || errno != EACCES) {
      if (entered.get() < 0 || fstat(entered.get(), &e) != 0) {
        error_ = errno;
        return;
      }
      if (fileof(e) != fileof(s)) throw fatalerror(std::string(name_) + ": " + replaced);
      directory.reset(entered.release());
      route.clear();
    } else if (component == "." ||
               (component == ".." ? steady(directorystat, s) : steady(s, directorystat))) {
      // One that may be searched but not read is passed by its name, which leads to it as long
      // as no other user can replace it (nor, for "..", move away the directory left).
      route = at + '/';
    } else {
      throw fatalerror(std::string(name_) + ": not passing " + joined(where, component) +
                       ", a directory that may be searched but not read, where another user "
                       "could replace it");
    }
#endif
    directorystat = s;
    where = joined(where, component);
  }
}

const char* reopenedthrough = "/proc/self/fd/";

namespace {

// Opens the file of the entry at `fd`, as judged, with `flags`: again through the descriptor
// that holds it where the platform allows that (through /proc/self/fd), else by its name in
// `directory` without following a link, and then only when it is still the file judged. -1
// with errno when it cannot be opened, `swapped` when the name leads elsewhere by now,
// `unheld` when it is held but /proc is not there and the name may not be opened `byname`.
constexpr int swapped = -2, unheld = -3;
int reopen(int fd, int directory, const char* entry, int flags, const fileid& judged, bool byname) {
#ifdef EIGENSHOOT_OPATH
  const int again = openfrom(AT_FDCWD, (reopenedthrough + std::to_string(fd)).c_str(), flags);
  if (again >= 0 || errno != ENOENT) return again;
  // No /proc mounted: the name, as on other platforms, where another user cannot have put a
  // file in the place of the one judged (a FIFO, whose waiting writer an open would release).
  if (!byname) return unheld;
#else
  static_cast<void>(fd);
  static_cast<void>(byname);
#endif
  const int opened = openfrom(directory, entry, flags | O_NOFOLLOW);
  struct stat s;
  if (opened >= 0 && (fstat(opened, &s) != 0 || fileof(s) != judged)) {
    close(opened);
    return swapped;
  }
  return opened;
}

}  // namespace

int judgedname::open() {
  constexpr int common = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const int flags = (how_ == purpose::read ? O_RDONLY : O_WRONLY) | common;
  // A new file is created only where there was none: a file that appears at its place in
  // between (a link, a FIFO) is not opened but judged in its turn.
  for (int tries = 0; error_ == 0; ++tries) {
    if (exists_) {
      const int fd = reopen(found_, directory_, (route_ + entry_).c_str(), flags, judged_, steady_);
      if (fd == swapped) throw fatalerror(std::string(name_) + ": " + replaced);
      if (fd == unheld) {
        throw fatalerror(std::string(name_) +
                         ": not opened by its name where another user could replace it, without "
                         "/proc to open the file judged");
      }
      return fd;
    }
    const int fd = openfrom(directory_, (route_ + entry_).c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST || tries == 3) return fd;
    walk();
  }
  errno = error_;
  return -1;
}

}  // namespace eigenshoot
#endif
