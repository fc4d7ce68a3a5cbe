// Drawing with gnuplot in a scratch directory beside the pictures, which nothing outlives:
// neither a failure nor a signal leaves the directory, a half-drawn picture or one picture of
// two replaced. gnuplot reads only what the command wrote there: the script compiled into the
// command and files of numbers.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "filerules/filerules.h"
#include "plot/plot.h"
#include "plotscript.h"

#include <fcntl.h>
#include <unistd.h>

extern char** environ;

namespace eigenshoot {

namespace {

constexpr std::array pictures = {"eigenfunctions.png", "convergence.png"};
constexpr const char* scriptname = "eigenshoot-plot.gp";
constexpr const char* gnuplotout = "gnuplot.out";  // all that gnuplot says
constexpr const char* keptpicture = "old-eigenfunctions.png";
constexpr std::array scratchfiles = {scriptname,    "run.gp",   "eigen.dat", "passes.dat",
                                     "guesses.dat", gnuplotout, pictures[0], pictures[1]};
constexpr std::array caught = {SIGHUP, SIGINT, SIGTERM, SIGQUIT};
// Signals that the command ignores for itself (prepareoutput) but gnuplot gets as the caller
// gave them.
constexpr std::array passedon = {SIGPIPE, SIGXFSZ};
constexpr char scratchpattern[] = ".eigenshoot-plot.XXXXXX";

// What a signal must undo, in the terms that a signal handler may use.
char scratchname[sizeof scratchpattern];
volatile sig_atomic_t scratchfd = -1;
volatile sig_atomic_t gnuplotpid = 0;
// Set while the old first picture is only in the scratch directory: it is then not removed.
volatile sig_atomic_t keepold = 0;

// The caller's dispositions of `passedon`: whether each was ignored.
std::array<bool, passedon.size()> callerignored{};

void removescratch() {
  if (gnuplotpid > 0) {
    kill(gnuplotpid, SIGKILL);
    waitpid(gnuplotpid, nullptr, 0);
    gnuplotpid = 0;
  }
  if (scratchfd >= 0) {
    for (const char* name : scratchfiles) unlinkat(scratchfd, name, 0);
    if (keepold == 0) unlinkat(scratchfd, keptpicture, 0);
    close(scratchfd);
    scratchfd = -1;
    if (keepold == 0) rmdir(scratchname);
  }
}

void setdisposition(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  for (int other : caught) sigaddset(&action.sa_mask, other);
  sigaction(signal, &action, nullptr);
}

void onsignal(int signal) {
  removescratch();
  setdisposition(signal, SIG_DFL);
  raise(signal);  // delivered when the handler returns: the process ends by the signal
}

// Holds the caught signals off while it lives.
class signalsheld {
 public:
  signalsheld() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : caught) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &before_);
  }
  ~signalsheld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
  signalsheld(const signalsheld&) = delete;
  signalsheld& operator=(const signalsheld&) = delete;
  const sigset_t& before() const { return before_; }

 private:
  sigset_t before_;
};

[[noreturn]] void failed(const std::string& what, int error) {
  throw fatalerror(what + ": " + std::strerror(error));
}

// A failure on the scratch directory's file `name`: `error` is taken before the path is built,
// which may change errno.
[[noreturn]] void failedinscratch(const char* name, int error) {
  failed(std::string(scratchname) + "/" + name, error);
}

// A descriptor of the command's own, closed when it goes.
class ownedfd {
 public:
  explicit ownedfd(int fd = -1) : fd_(fd) {}
  ~ownedfd() { reset(); }
  ownedfd(const ownedfd&) = delete;
  ownedfd& operator=(const ownedfd&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// While it lives, HUP, INT, TERM and QUIT remove the scratch directory and end the command by
// the signal, unless the caller ignored them (under nohup, in a script's background job): those
// stay ignored. Each caught signal is held off while the handler runs.
class signalhandlers {
 public:
  signalhandlers() {
    for (std::size_t i = 0; i < caught.size(); ++i) {
      sigaction(caught[i], nullptr, &before_[i]);
      if (before_[i].sa_handler != SIG_IGN) setdisposition(caught[i], onsignal);
    }
  }
  ~signalhandlers() {
    for (std::size_t i = 0; i < caught.size(); ++i) sigaction(caught[i], &before_[i], nullptr);
  }
  signalhandlers(const signalhandlers&) = delete;
  signalhandlers& operator=(const signalhandlers&) = delete;
  // The caller's disposition of caught[i].
  bool ignored(std::size_t i) const { return before_[i].sa_handler == SIG_IGN; }

 private:
  std::array<struct sigaction, caught.size()> before_{};
};

// The scratch directory (mode 0700), made in the working directory and removed with all it
// holds, also by a signal.
class scratch {
 public:
  scratch() {
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
    scratchfd = open(scratchname, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (scratchfd < 0) {
      const int error = errno;
      rmdir(scratchname);
      failed(scratchname, error);
    }
  }
  ~scratch() {
    const signalsheld held;
    removescratch();
  }
  scratch(const scratch&) = delete;
  scratch& operator=(const scratch&) = delete;
  int fd() const { return scratchfd; }
  bool ignored(std::size_t i) const { return handlers_.ignored(i); }

 private:
  signalhandlers handlers_;
};

// While it lives, SIGCHLD is at its default. A caller that ignores it (or asks SA_NOCLDWAIT)
// would have the kernel reap gnuplot unasked: its status would be lost, and its process id free
// for another process while a signal handler may still kill it. gnuplot gets the caller's.
class childrenwaited {
 public:
  childrenwaited() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCHLD, &action, &before_);
  }
  ~childrenwaited() { sigaction(SIGCHLD, &before_, nullptr); }
  childrenwaited(const childrenwaited&) = delete;
  childrenwaited& operator=(const childrenwaited&) = delete;
  const struct sigaction& before() const { return before_; }

 private:
  struct sigaction before_ {};
};

// gnuplot's environment: the caller's, without the variables that change what gnuplot draws or
// where (GNUTERM, GNUPLOT_*), in a UTF-8 locale whatever the caller's.
std::vector<std::string> gnuplotenvironment() {
  std::vector<std::string> kept;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view text(*variable);
    if (!text.starts_with("GNUTERM=") && !text.starts_with("GNUPLOT_") &&
        !text.starts_with("LC_ALL=")) {
      kept.emplace_back(text);
    }
  }
  kept.emplace_back("LC_ALL=C.UTF-8");
  return kept;
}

// Runs gnuplot on the script in the scratch directory: no shell in between, its default
// settings (-d, no user's ~/.gnuplot), the caller's signal dispositions, no core dump, its
// input empty and all it says in gnuplot.out. Returns its wait status.
int rungnuplot(const scratch& dir) {
  std::vector<std::string> environment = gnuplotenvironment();
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  char name[] = "gnuplot", defaults[] = "-d";
  char* const argv[] = {name, defaults, const_cast<char*>(scriptname), nullptr};

  const ownedfd out(openat(dir.fd(), gnuplotout, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.get() < 0) failedinscratch(gnuplotout, errno);
  const ownedfd in(open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) failed("/dev/null", errno);
  // Tells why gnuplot could not be started; closed by its start.
  int ends[2];
  if (pipe(ends) != 0) failed("pipe", errno);
  ownedfd report(ends[0]), tell(ends[1]);
  if (fcntl(ends[0], F_SETFD, FD_CLOEXEC) != 0 || fcntl(ends[1], F_SETFD, FD_CLOEXEC) != 0)
    failed("pipe", errno);
  const childrenwaited waited;
  pid_t pid;
  int forkerror;
  {
    const signalsheld held;
    pid = fork();
    forkerror = errno;
    if (pid == 0) {
      for (std::size_t i = 0; i < caught.size(); ++i) {
        if (!dir.ignored(i)) setdisposition(caught[i], SIG_DFL);
      }
      for (std::size_t i = 0; i < passedon.size(); ++i) {
        setdisposition(passedon[i], callerignored[i] ? SIG_IGN : SIG_DFL);
      }
      sigaction(SIGCHLD, &waited.before(), nullptr);
      sigprocmask(SIG_SETMASK, &held.before(), nullptr);
      const struct rlimit nocore = {0, 0};
      environ = envp.data();
      if (setrlimit(RLIMIT_CORE, &nocore) == 0 && fchdir(dir.fd()) == 0 && dup2(in.get(), 0) == 0 &&
          dup2(out.get(), 1) == 1 && dup2(out.get(), 2) == 2) {
        execvp(name, argv);
      }
      const int error = errno;
      [[maybe_unused]] const ssize_t told = write(tell.get(), &error, sizeof error);
      _exit(127);
    }
    gnuplotpid = pid;
  }
  if (pid < 0) failed("cannot start gnuplot", forkerror);
  tell.reset();
  int execerror = 0;
  ssize_t told;
  while ((told = read(report.get(), &execerror, sizeof execerror)) < 0 && errno == EINTR) {
  }
  // Waited for without reaping, then reaped with the signals held: a signal in between would
  // have the handler kill a process id that may be another process's by then.
  siginfo_t ended;
  while (waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  int status = 0;
  {
    const signalsheld held;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    gnuplotpid = 0;
  }
  if (told == sizeof execerror) {
    if (execerror == ENOENT)
      throw fatalerror("gnuplot is not installed (Debian: apt-get install gnuplot-nox)");
    failed("gnuplot", execerror);
  }
  return status;
}

std::uint32_t bigendian(const unsigned char* at) {
  return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 |
         std::uint32_t{at[3]};
}

// Whether the file open as fd is a whole PNG file: the signature, then chunks that each lie
// inside the file, the last one IEND and nothing after it. gnuplot's PNG writer ignores write
// errors, so a picture cut short by a full disk or a file-size limit is found here.
bool wholepng(int fd) {
  struct stat s;
  if (fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) return false;
  static constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  unsigned char head[8];
  if (pread(fd, head, sizeof head, 0) != sizeof head || std::memcmp(head, signature, 8) != 0)
    return false;
  const std::uint64_t size = static_cast<std::uint64_t>(s.st_size);
  std::uint64_t at = sizeof signature;
  while (size - at >= 12) {  // length, type, data, CRC
    if (pread(fd, head, sizeof head, static_cast<off_t>(at)) != sizeof head) return false;
    const std::uint64_t length = bigendian(head);
    if (length > 0x7fffffff || length > size - at - 12) return false;
    at += 12 + length;
    if (std::memcmp(head + 4, "IEND", 4) == 0) return length == 0 && at == size;
  }
  return false;
}

// The line of gnuplot's words that tells its error: the first "line N: ..." (after a file name
// in quotes, or not), which follows its echo of the command and a caret; else its last line.
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

// gnuplot has drawn the pictures when it ends with status 0 without a word and both are whole
// PNG files. Otherwise the failure is told by gnuplot's last line (its error after its echo of
// the command), its end, or the picture that is not whole.
void judge(int status) {
  char said[4096];
  ssize_t n;
  {
    const ownedfd fd(openat(scratchfd, gnuplotout, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) failedinscratch(gnuplotout, errno);
    while ((n = read(fd.get(), said, sizeof said)) < 0 && errno == EINTR) {
    }
    if (n < 0) failedinscratch(gnuplotout, errno);
  }
  const std::string_view words = toldline(std::string_view(said, static_cast<std::size_t>(n)));
  std::string why = n > 0 ? (words.empty() ? "it wrote empty lines" : escaped(words))
                    : WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                    : WEXITSTATUS(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                          : "";
  for (std::size_t i = 0; i < pictures.size() && why.empty(); ++i) {
    const ownedfd fd(openat(scratchfd, pictures[i], O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 || !wholepng(fd.get()))
      why = std::string(pictures[i]) + (fd.get() < 0 ? ": not drawn" : ": not a whole PNG file");
  }
  if (!why.empty()) throw fatalerror("gnuplot could not draw the pictures: " + why);
}

// Replaces both pictures or neither. The old first picture is kept in the scratch directory, as
// a link where the file system and the kernel allow one, else moved there, and put back when the
// second cannot be replaced. No signal comes in between.
void replacepictures() {
  const signalsheld held;
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

}  // namespace

void keepcallersignals() {
  for (std::size_t i = 0; i < passedon.size(); ++i) {
    struct sigaction action;
    callerignored[i] =
        sigaction(passedon[i], nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
  }
}

void drawpictures(const runfiles& run) {
  for (const char* picture : pictures) {
    judgereplaced(picture);
    struct stat s;
    if (stat(picture, &s) == 0 && S_ISDIR(s.st_mode))
      throw fatalerror(std::string(picture) + ": is a directory");
  }
  const scratch dir;
  writeplotdata(dir.fd(), scratchname, run);
  writenewfile(dir.fd(), scratchname, scriptname, plotscripttext);
  judge(rungnuplot(dir));
  replacepictures();
}

}  // namespace eigenshoot
