// Drawing with gnuplot in a scratch directory beside the pictures, which nothing outlives:
// neither a failure nor a signal leaves the directory, a half-drawn picture or one picture of
// two replaced.
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "plot/plot.h"

#include <fcntl.h>
#include <unistd.h>

namespace eigenshoot {

namespace {

constexpr std::array pictures = {"eigenfunctions.png", "convergence.png"};
constexpr const char* keptpicture = "old-eigenfunctions.png";
constexpr std::array scratchfiles = {"run.gp",      "eigen.dat", "passes.dat", "guesses.dat",
                                     "gnuplot.out", pictures[0], pictures[1],  keptpicture};
constexpr std::array caught = {SIGHUP, SIGINT, SIGTERM, SIGQUIT};

// What a signal must undo, in the terms that a signal handler may use.
char scratchname[] = ".eigenshoot-plot.XXXXXX";
volatile sig_atomic_t scratchfd = -1;
volatile sig_atomic_t gnuplotpid = 0;

void removescratch() {
  if (gnuplotpid > 0) {
    kill(gnuplotpid, SIGKILL);
    waitpid(gnuplotpid, nullptr, 0);
    gnuplotpid = 0;
  }
  if (scratchfd >= 0) {
    for (const char* name : scratchfiles) unlinkat(scratchfd, name, 0);
    close(scratchfd);
    scratchfd = -1;
    rmdir(scratchname);
  }
}

void onsignal(int signal) {
  removescratch();
  std::signal(signal, SIG_DFL);
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
  const sigset_t& before() const { return before_; }

 private:
  sigset_t before_;
};

[[noreturn]] void failed(const std::string& what, int error) {
  throw fatalerror(what + ": " + std::strerror(error));
}

// The scratch directory, made in the working directory and removed with all it holds.
class scratch {
 public:
  scratch() {
    for (int signal : caught) std::signal(signal, onsignal);
    const signalsheld held;
    if (mkdtemp(scratchname) == nullptr) {
      char here[4096];
      failed(escaped(getcwd(here, sizeof here) != nullptr ? here : ".") +
                 ": cannot write the pictures here",
             errno);
    }
    scratchfd = open(scratchname, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (scratchfd < 0) failed(scratchname, errno);
  }
  ~scratch() {
    const signalsheld held;
    removescratch();
  }
  int fd() const { return scratchfd; }
};

// Runs gnuplot on the script in the scratch directory: no shell in between, its default
// settings (-d, no user's ~/.gnuplot), a UTF-8 locale whatever the caller's, its input empty
// and all it says in gnuplot.out. Returns its wait status.
int rungnuplot(const std::string& script) {
  const int out = openat(scratchfd, "gnuplot.out", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int report[2];
  if (out < 0 || in < 0 || pipe2(report, O_CLOEXEC) != 0) failed("gnuplot", errno);
  setenv("LC_ALL", "C.UTF-8", 1);
  pid_t pid;
  {
    const signalsheld held;
    pid = fork();
    if (pid == 0) {
      for (int signal : caught) std::signal(signal, SIG_DFL);
      sigprocmask(SIG_SETMASK, &held.before(), nullptr);
      if (fchdir(scratchfd) == 0 && dup2(in, 0) == 0 && dup2(out, 1) == 1 && dup2(out, 2) == 2) {
        execlp("gnuplot", "gnuplot", "-d", script.c_str(), static_cast<char*>(nullptr));
      }
      const int error = errno;
      [[maybe_unused]] const ssize_t told = write(report[1], &error, sizeof error);
      _exit(127);
    }
    gnuplotpid = pid;
  }
  const int error = errno;
  close(out);
  close(in);
  close(report[1]);
  if (pid < 0) failed("gnuplot", error);
  int execerror = 0;
  ssize_t told;
  while ((told = read(report[0], &execerror, sizeof execerror)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  gnuplotpid = 0;
  if (told == sizeof execerror) {
    if (execerror == ENOENT)
      throw fatalerror("gnuplot is not installed (Debian: apt-get install gnuplot-nox)");
    failed("gnuplot", execerror);
  }
  return status;
}

// gnuplot has drawn the pictures when it ends with status 0 without a word and both are there.
void judge(int status) {
  char said[512];
  const int fd = openat(scratchfd, "gnuplot.out", O_RDONLY | O_CLOEXEC);
  const ssize_t n = fd < 0 ? 0 : read(fd, said, sizeof said);
  if (fd >= 0) close(fd);
  std::string_view words(said, n > 0 ? static_cast<std::size_t>(n) : 0);
  words.remove_prefix(std::min(words.find_first_not_of(" \n"), words.size()));
  words = words.substr(0, words.find('\n'));
  bool drawn = WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
  for (const char* picture : pictures) {
    struct stat s;
    drawn = drawn && fstatat(scratchfd, picture, &s, 0) == 0 && S_ISREG(s.st_mode) && s.st_size > 0;
  }
  if (drawn) return;
  std::string why = !words.empty()        ? escaped(words)
                    : WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                    : WEXITSTATUS(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                          : "no picture";
  throw fatalerror("gnuplot could not draw the pictures: " + why);
}

// Replaces both pictures or neither: the old first picture is kept as a link in the scratch
// directory and put back when the second cannot be replaced. No signal comes in between.
void replacepictures() {
  const signalsheld held;
  const bool kept = linkat(AT_FDCWD, pictures[0], scratchfd, keptpicture, 0) == 0;
  if (!kept && errno != ENOENT)
    failed(std::string(pictures[0]) + ": cannot keep the old picture", errno);
  if (renameat(scratchfd, pictures[0], AT_FDCWD, pictures[0]) != 0) failed(pictures[0], errno);
  if (renameat(scratchfd, pictures[1], AT_FDCWD, pictures[1]) != 0) {
    const int error = errno;
    if (kept) {
      renameat(scratchfd, keptpicture, AT_FDCWD, pictures[0]);
    } else {
      unlink(pictures[0]);
    }
    failed(pictures[1], error);
  }
}

}  // namespace

void drawpictures(const runfiles& run, const std::string& script) {
  for (const char* picture : pictures) {
    struct stat s;
    if (stat(picture, &s) == 0 && S_ISDIR(s.st_mode))
      throw fatalerror(std::string(picture) + ": is a directory");
  }
  const scratch dir;
  writeplotdata(dir.fd(), scratchname, run);
  judge(rungnuplot(script));
  replacepictures();
}

// Looked for where the program is (found through /proc/self/exe): under ../share/eigenshoot
// when installed, beside it in a build directory; and where the build installs it, for systems
// without /proc.
std::string plotscript() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self);
  std::string at(self,
                 n > 0 && n < static_cast<ssize_t>(sizeof self) ? static_cast<std::size_t>(n) : 0);
  at.erase(at.find_last_of('/') + 1);
  const std::string places[] = {at.empty() ? "" : at + EIGENSHOOT_SCRIPT_FROM_BIN,
                                at.empty() ? "" : at + "eigenshoot-plot.gp",
                                EIGENSHOOT_SCRIPT_INSTALLED};
  for (const std::string& place : places) {
    if (!place.empty() && access(place.c_str(), R_OK) == 0) return place;
  }
  throw fatalerror(std::string(EIGENSHOOT_SCRIPT_INSTALLED) +
                   ": not found, nor beside the program");
}

}  // namespace eigenshoot
