// gnuplot started on the script in the scratch directory with no shell in between, waited for
// while the signals of the command stay live, and ended with its whole process group: no
// process that it started outlives the command.
#include "plot/gnuplot.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include "base/base.h"
#include "plot/plot.h"

extern char** environ;

namespace eigenshoot {

namespace {

// Signals that the command ignores for itself (prepareoutput) but gnuplot gets as the caller
// gave them.
constexpr std::array passedon = {SIGPIPE, SIGXFSZ};

// gnuplot's process id (also the id of its process group) from its start until it is reaped.
volatile sig_atomic_t gnuplotpid = 0;

void onchild(int) {}  // only wakes the wait for gnuplot

// While it lives, SIGCHLD wakes the wait for gnuplot. A caller that ignores it (or asks
// SA_NOCLDWAIT) would have the kernel reap gnuplot unasked: its status would be lost, and its
// process id free for another process while a signal handler may still kill it. gnuplot gets
// the caller's disposition.
class childrenwaited {
 public:
  childrenwaited() {
    sigaction(SIGCHLD, nullptr, &before_);
    setdisposition(SIGCHLD, onchild, SA_NOCLDSTOP);
  }
  ~childrenwaited() { sigaction(SIGCHLD, &before_, nullptr); }
  childrenwaited(const childrenwaited&) = delete;
  childrenwaited& operator=(const childrenwaited&) = delete;
  const struct sigaction& before() const { return before_; }

 private:
  struct sigaction before_ {};
};

// The locale that gnuplot runs in: UTF-8 text and the C's numbers, whatever the caller's. Not
// every system has C.UTF-8 (macOS has not); the first of these that it has is taken.
const char* utf8locale() {
  for (const char* name : {"C.UTF-8", "en_US.UTF-8"}) {
    if (const locale_t locale = newlocale(LC_ALL_MASK, name, nullptr)) {
      freelocale(locale);
      return name;
    }
  }
  return "C.UTF-8";
}

// gnuplot's environment: the caller's, without the variables that change what gnuplot draws or
// where (GNUTERM, GNUPLOT_*), in a UTF-8 locale whatever the caller's.
std::vector<std::string> gnuplotenvironment() {
  std::vector<std::string> kept;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view text(*variable);
    // A font configuration that is there but no regular file (a FIFO, /dev/zero) would have
    // gnuplot wait or read for ever: gnuplot takes the system's instead.
    struct stat fonts;
    const bool endless = text.starts_with("FONTCONFIG_FILE=") &&
                         stat(text.substr(16).data(), &fonts) == 0 && !S_ISREG(fonts.st_mode);
    if (!text.starts_with("GNUTERM=") && !text.starts_with("GNUPLOT_") &&
        !text.starts_with("LC_ALL=") && !endless) {
      kept.emplace_back(text);
    }
  }
  kept.push_back(std::string("LC_ALL=") + utf8locale());
  return kept;
}

// Whether gnuplot has ended, told without reaping it where the system can (its process id, and
// so its group's, stays taken until it is reaped, so that no other group can be killed in its
// place). Elsewhere it is reaped here, and its group, if any process of it is left, keeps the id.
bool ended(pid_t pid, int& status) {
#if EIGENSHOOT_WAITNOWAIT
  siginfo_t info;
  info.si_pid = 0;
  static_cast<void>(status);
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
#else
  if (waitpid(pid, &status, WNOHANG) != pid) return false;
  gnuplotpid = 0;
  return true;
#endif
}

}  // namespace

void keepcallersignals() {
  ignorewritesignals();
}

void endgnuplot() {
  const pid_t pid = gnuplotpid;
  if (pid <= 0) return;
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);  // in case it ended before it had a group of its own
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  gnuplotpid = 0;
}

// Runs gnuplot with its default settings (-d, no user's ~/.gnuplot), the caller's signal
// dispositions, no core dump, its input empty and all it says in gnuplot.out.
int rungnuplot(const scratch& dir) {
  std::vector<std::string> environment = gnuplotenvironment();
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  char name[] = "gnuplot", defaults[] = "-d";
  char* const argv[] = {name, defaults, const_cast<char*>(scriptname), nullptr};

  const ownedfd out(openat(dir.fd(), gnuplotout, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.get() < 0) {
    const int error = errno;  // before the message is built
    failed(std::string(dir.name()) + "/" + gnuplotout, error);
  }
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
      setpgid(0, 0);
      for (std::size_t i = 0; i < caught.size(); ++i) {
        if (!dir.ignored(i)) setdisposition(caught[i], SIG_DFL);
      }
      for (std::size_t i = 0; i < passedon.size(); ++i) {
        setdisposition(passedon[i], callerignored(passedon[i]) ? SIG_IGN : SIG_DFL);
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
    if (pid > 0) {
      setpgid(pid, pid);  // so that the group is there before anything may kill it
      gnuplotpid = pid;
    }
  }
  if (pid < 0) failed("cannot start gnuplot", forkerror);
  tell.reset();
  int execerror = 0;
  ssize_t told;
  while ((told = read(report.get(), &execerror, sizeof execerror)) < 0 && errno == EINTR) {
  }
  // Waited for with the signals held but while suspended, so that a signal never comes between
  // the end of gnuplot and the end of its group.
  int status = 0;
  {
    const signalsheld held;
    sigset_t waiting = held.before();
    sigdelset(&waiting, SIGCHLD);
    while (!ended(pid, status)) sigsuspend(&waiting);
    kill(-pid, SIGKILL);
    if (gnuplotpid != 0) {
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      gnuplotpid = 0;
    }
  }
  if (told == sizeof execerror) {
    if (execerror == ENOENT)
      throw fatalerror("gnuplot is not installed (Debian: apt-get install gnuplot-nox)");
    failed("gnuplot", execerror);
  }
  return status;
}

}  // namespace eigenshoot
