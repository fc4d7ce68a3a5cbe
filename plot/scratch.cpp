// The scratch directory beside the pictures, which nothing outlives: neither a failure nor a
// signal leaves the directory, anything that gnuplot left in it, a half-drawn picture or one
// picture of two replaced. gnuplot reads only what the command wrote there: the script compiled
// into the command and files of numbers.
#include "plot/scratch.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "filerules/filerules.h"
#include "output/terminal.h"
#include "plot/gnuplot.h"
#include "plot/picture.h"
#include "plot/plot.h"
#include "plotscript.h"

namespace eigenshoot {

namespace {

constexpr const char* keptpicture = "old-eigenfunctions.png";
constexpr char scratchpattern[] = ".eigenshoot-plot.XXXXXX";

// What a signal must undo, in the terms that a signal handler may use: the directory's name,
// a descriptor of it, and the stream of its entries, opened beforehand (a handler may not
// allocate; reading a stream of its own is then safe).
char scratchname[sizeof scratchpattern];
volatile sig_atomic_t scratchfd = -1;
DIR* volatile entries = nullptr;
// Set while the old first picture is only in the scratch directory: it is then not removed.
volatile sig_atomic_t keepold = 0;

bool dots(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Removes the entry `name` of the directory open as `dir`, `depth` levels below the scratch
// directory, nothing followed: unlinked, or removed as a directory, emptied first. A directory
// that gnuplot left unreadable or unwritable is made its owner's again (a link is not followed to
// what it leads to). A directory too deep to open here is moved up into the scratch directory
// instead, for a later pass: neither the stack nor the descriptors run out on a deep tree. On
// Linux the entries are read into a buffer of this call's, as a signal handler may; elsewhere a
// signal handler, which may not allocate a stream of entries, removes only an empty one.
void removeentry(int dir, const char* name, [[maybe_unused]] bool insignal, int depth = 0) {
  if (unlinkat(dir, name, 0) == 0 || unlinkat(dir, name, AT_REMOVEDIR) == 0) return;
  fchmodat(dir, name, S_IRWXU, AT_SYMLINK_NOFOLLOW);
  const int inner =
      depth < 64 ? openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
  if (inner < 0 && (depth == 64 || errno == EMFILE || errno == ENFILE)) {
    static unsigned moved = 0;
    char up[] = ".up0000000000";
    for (unsigned n = ++moved, i = sizeof up - 2; n > 0; n /= 10, --i) up[i] = char('0' + n % 10);
    renameat(dir, name, scratchfd, up);
  }
  if (inner < 0) return;
#ifdef __linux__
  alignas(dirent64) char buffer[2048];
  for (ssize_t size; (size = getdents64(inner, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at < size;
         at += reinterpret_cast<const dirent64*>(buffer + at)->d_reclen) {
      const char* entry = reinterpret_cast<const dirent64*>(buffer + at)->d_name;
      if (!dots(entry)) removeentry(inner, entry, insignal, depth + 1);
    }
  }
  close(inner);
#else
  DIR* const in = insignal ? nullptr : fdopendir(inner);
  if (in == nullptr) {
    close(inner);
    return;
  }
  while (const dirent* entry = readdir(in)) {
    if (!dots(entry->d_name)) removeentry(inner, entry->d_name, false, depth + 1);
  }
  closedir(in);
#endif
  unlinkat(dir, name, AT_REMOVEDIR);
}

// Removes the scratch directory with whatever is in it but the kept old picture. A process of
// gnuplot's that was killed may still end a call that makes a file, so the directory is read
// again while it is not empty.
void removescratch(bool insignal) {
  endgnuplot();
  if (scratchfd < 0) return;
  for (int pass = 0; pass < 100; ++pass) {
    fchmod(scratchfd, S_IRWXU);
    rewinddir(entries);
    while (const dirent* entry = readdir(entries)) {
      const char* name = entry->d_name;
      if (!dots(name) && (keepold == 0 || std::strcmp(name, keptpicture) != 0))
        removeentry(scratchfd, name, insignal);
    }
    if (keepold != 0 || rmdir(scratchname) == 0 || (errno != ENOTEMPTY && errno != EEXIST)) break;
  }
  close(scratchfd);
  scratchfd = -1;
}

void onsignal(int signal) {
  removescratch(true);
  setdisposition(signal, SIG_DFL);
  raise(signal);  // delivered when the handler returns: the process ends by the signal
}

}  // namespace

void setdisposition(int signal, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  for (int other : caught) sigaddset(&action.sa_mask, other);
  sigaction(signal, &action, nullptr);
}

signalsheld::signalsheld() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : caught) sigaddset(&set, signal);
  sigaddset(&set, SIGCHLD);
  sigprocmask(SIG_BLOCK, &set, &before_);
}

signalsheld::~signalsheld() {
  sigprocmask(SIG_SETMASK, &before_, nullptr);
}

scratch::scratch() {
  const signalsheld held;
  std::memcpy(scratchname, scratchpattern, sizeof scratchpattern);
  keepold = 0;
  if (mkdtemp(scratchname) == nullptr) {
    const int error = errno;
    char here[4096];
    failed(escaped(getcwd(here, sizeof here) != nullptr ? here : ".") +
               ": cannot write the pictures here",
           error);
  }
  scratchfd = open(scratchname, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const int read = scratchfd < 0 ? -1 : fcntl(scratchfd, F_DUPFD_CLOEXEC, 0);
  entries = read < 0 ? nullptr : fdopendir(read);
  if (entries == nullptr) {
    const int error = errno;
    if (read >= 0) close(read);
    if (scratchfd >= 0) close(scratchfd);
    scratchfd = -1;
    rmdir(scratchname);
    failed(scratchname, error);
  }
  for (std::size_t i = 0; i < caught.size(); ++i) {
    sigaction(caught[i], nullptr, &before_[i]);
    if (before_[i].sa_handler != SIG_IGN) setdisposition(caught[i], onsignal);
  }
}

scratch::~scratch() {
  const signalsheld held;
  removescratch(false);
  closedir(entries);
  entries = nullptr;
  for (std::size_t i = 0; i < caught.size(); ++i) sigaction(caught[i], &before_[i], nullptr);
}

int scratch::fd() const {
  return scratchfd;
}

const char* scratch::name() const {
  return scratchname;
}

// Replaces both pictures or neither. The old first picture is kept in the scratch directory, as
// a link where the file system and the kernel allow one, else moved there, and put back when the
// second cannot be replaced. No signal comes in between. Pictures are the command's outputs and
// follow the file rules for outputs: another user's in a sticky world-writable directory are
// neither replaced nor kept.
void replacepictures() {
  const signalsheld held;
  for (const char* picture : pictures) judgereplaced(picture);
  enum { none, linked, moved } kept = none;
  if (linkat(AT_FDCWD, pictures[0], scratchfd, keptpicture, 0) == 0) {
    kept = linked;
  } else if (errno != ENOENT) {
    // No hard link here (FAT, some network file systems) or none allowed (another user's picture
    // under protected_hardlinks): a rename needs neither.
    keepold = 1;
    if (renameat(AT_FDCWD, pictures[0], scratchfd, keptpicture) == 0) {
      kept = moved;
    } else {
      const int error = errno;
      keepold = 0;
      if (error != ENOENT)
        failed(std::string(pictures[0]) + ": cannot keep the old picture", error);
    }
  }
  // After `picture` failed with `error`: the old first picture put back, or the new one
  // removed where there was none, if it was `placed`.
  const auto undo = [&](const char* picture, int error, bool placed) {
    bool undone = true;
    if (kept == moved || (kept == linked && placed)) {
      undone = renameat(scratchfd, keptpicture, AT_FDCWD, pictures[0]) == 0;
    } else if (kept == none && placed) {
      undone = unlink(pictures[0]) == 0;
    }
    if (undone) {
      keepold = 0;
      failed(picture, error);
    }
    const int undoerror = errno;
    std::string told = std::string(picture) + ": " + std::strerror(error) + "; ";
    if (kept == none) {
      told += std::string("the new ") + pictures[0] + " could not be removed";
    } else {
      keepold = 1;  // the old picture stays where the message says
      told += std::string("the old ") + pictures[0] + " could not be put back, it is kept as " +
              scratchname + "/" + keptpicture;
    }
    throw fatalerror(told + ": " + std::strerror(undoerror));
  };
  if (renameat(scratchfd, pictures[0], AT_FDCWD, pictures[0]) != 0) undo(pictures[0], errno, false);
  if (renameat(scratchfd, pictures[1], AT_FDCWD, pictures[1]) != 0) undo(pictures[1], errno, true);
  keepold = 0;
}

std::string drawpictures(const runfiles& run) {
  for (const char* picture : pictures) {
    struct stat s;
    if (stat(picture, &s) == 0 && S_ISDIR(s.st_mode))
      throw fatalerror(std::string(picture) + ": is a directory");
  }
  const scratch dir;
  writeplotdata(dir.fd(), scratchname, run);
  writenewfile(dir.fd(), scratchname, scriptname, plotscripttext);
  std::string said = judge(dir.fd(), scratchname, rungnuplot(dir));
  replacepictures();
  return said;
}

}  // namespace eigenshoot
