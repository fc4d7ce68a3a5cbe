// gnuplot's process tree held by the command: the signals that would end the command only wake
// it while gnuplot runs, and at the end every process that gnuplot started is killed and reaped.
// On Linux the command is a child subreaper, so that a process that left gnuplot's group comes
// back to it and is found among its children; elsewhere only gnuplot's group is killed.
#include "plot/children.h"

#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "base/base.h"

namespace eigenshoot {

namespace {

// What the signal handler needs: the ending signal that came, and where to wake the command.
volatile sig_atomic_t pending = 0;
volatile sig_atomic_t wakewrite = -1;

void onsignal(int signal) {
  const int saved = errno;
  if (signal != SIGCHLD) pending = signal;
  [[maybe_unused]] const ssize_t n = write(wakewrite, "", 1);
  errno = saved;
}

void setdisposition(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

#ifdef __linux__
// Kills every child of the command, as the kernel lists them for each of its threads: whether
// they could be listed.
bool killchildren() {
  DIR* const tasks = opendir("/proc/self/task");
  bool listed = tasks != nullptr;
  while (const dirent* task = tasks != nullptr ? readdir(tasks) : nullptr) {
    if (task->d_name[0] == '.') continue;
    char name[sizeof "/proc/self/task//children" + sizeof task->d_name];  // nothing cut short
    std::snprintf(name, sizeof name, "/proc/self/task/%s/children", task->d_name);
    FILE* const children = std::fopen(name, "re");
    listed = listed && children != nullptr;
    for (long pid; children != nullptr && std::fscanf(children, "%ld", &pid) == 1;)
      kill(static_cast<pid_t>(pid), SIGKILL);
    if (children != nullptr) std::fclose(children);
  }
  if (tasks != nullptr) closedir(tasks);
  return listed;
}
#endif

}  // namespace

childwatch::childwatch() {
  if (pipe(wake_) != 0) failed("cannot start gnuplot", errno);
  for (int end : wake_) fcntl(end, F_SETFL, O_NONBLOCK), fcntl(end, F_SETFD, FD_CLOEXEC);
  pending = 0;
  wakewrite = wake_[1];
  pipeignored_ = callerignored(SIGPIPE);
  sizeignored_ = callerignored(SIGXFSZ);
#ifdef __linux__
  prctl(PR_GET_CHILD_SUBREAPER, &reaper_);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
  for (std::size_t i = 0; i < endingsignals.size(); ++i) {
    sigaction(endingsignals[i], nullptr, &before_[i]);
    if (before_[i].sa_handler != SIG_IGN) setdisposition(endingsignals[i], onsignal);
  }
  // A caller that ignores SIGCHLD (or asks SA_NOCLDWAIT) would have the kernel reap gnuplot
  // unasked: its status lost, and its id free for another process while its group is killed.
  sigaction(SIGCHLD, nullptr, &childbefore_);
  setdisposition(SIGCHLD, onsignal);
}

childwatch::~childwatch() {
  endall();
  for (std::size_t i = 0; i < endingsignals.size(); ++i)
    sigaction(endingsignals[i], &before_[i], nullptr);
  sigaction(SIGCHLD, &childbefore_, nullptr);
#ifdef __linux__
  prctl(PR_SET_CHILD_SUBREAPER, reaper_);
#endif
  wakewrite = -1;
  for (int end : wake_) close(end);
  if (const int signal = pending; signal != 0) {
    // The command ends by the signal that came, which the mask in force lets in: it came.
    setdisposition(signal, SIG_DFL);
    raise(signal);
  }
}

int childwatch::woken() const {
  char drained[64];
  while (read(wake_[0], drained, sizeof drained) > 0) {
  }
  return pending;
}

void childwatch::hold(bool held) {
  sigset_t all;
  sigemptyset(&all);
  for (int signal : endingsignals) sigaddset(&all, signal);
  sigaddset(&all, SIGCHLD);
  held ? sigprocmask(SIG_BLOCK, &all, &mask_) : sigprocmask(SIG_SETMASK, &mask_, nullptr);
}

void childwatch::inchild([[maybe_unused]] pid_t parent) const {
#ifdef __linux__
  // Set before the check: a parent that is gone already has another process id as parent.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
#endif
  for (std::size_t i = 0; i < endingsignals.size(); ++i)
    sigaction(endingsignals[i], &before_[i], nullptr);
  sigaction(SIGCHLD, &childbefore_, nullptr);
  setdisposition(SIGPIPE, pipeignored_ ? SIG_IGN : SIG_DFL);
  setdisposition(SIGXFSZ, sizeignored_ ? SIG_IGN : SIG_DFL);
  sigprocmask(SIG_SETMASK, &mask_, nullptr);
}

void childwatch::started(pid_t pid) {
  setpgid(pid, pid);  // so that the group is there before anything may kill it
  pid_ = pid;
}

childstate childwatch::state(int& signal) {
  if (reaped_) return childstate::ended;
#if EIGENSHOOT_WAITNOWAIT
  siginfo_t info;
  info.si_pid = 0;
  if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WSTOPPED | WNOHANG | WNOWAIT) != 0 ||
      info.si_pid != pid_)
    return childstate::running;
  signal = info.si_status;
  return info.si_code == CLD_STOPPED || info.si_code == CLD_TRAPPED ? childstate::stopped
                                                                    : childstate::ended;
#else
  if (waitpid(pid_, &status_, WNOHANG | WUNTRACED) != pid_) return childstate::running;
  if (WIFSTOPPED(status_)) {
    signal = WSTOPSIG(status_);
    return childstate::stopped;
  }
  reaped_ = true;
  return childstate::ended;
#endif
}

int childwatch::endall() {
  if (pid_ <= 0) return status_;
  kill(-pid_, SIGKILL);
  if (!reaped_) kill(pid_, SIGKILL);  // in case it ended before it had a group of its own
#ifdef __linux__
  // Each pass kills every child there is and reaps one; a process whose parent has been killed
  // is a child of the command by the time that parent can be reaped.
  for (;;) {
    const bool listed = killchildren();
    int status;
    const pid_t pid = waitpid(-1, &status, listed ? 0 : WNOHANG);
    if (pid < 0 && errno == EINTR) continue;
    if (pid <= 0) break;
    if (pid == pid_) status_ = status, reaped_ = true;
  }
#endif
  while (!reaped_ && waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
  }
  pid_ = 0;
  return status_;
}

}  // namespace eigenshoot
