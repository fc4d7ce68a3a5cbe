// gnuplot's process tree, held by the command while gnuplot runs, and the signals that would
// end the command meanwhile.
#pragma once

#include <sys/types.h>

#include <array>
#include <csignal>

namespace eigenshoot {

// The signals that end a process by default and can be caught, but for PIPE and XFSZ, which
// the command ignores for itself.
inline constexpr std::array endingsignals = {
    SIGHUP,  SIGINT, SIGTERM, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGPOLL
    SIGPOLL,
#endif
};

// What a child process has come to.
enum class childstate { running, ended, stopped };

// While it lives, the ending signals (but those the caller ignored: under nohup, in a script's
// background job, they stay ignored) and SIGCHLD, for a stop too, only wake the command's
// poll() on wakefd(), and on Linux the command is a child subreaper: a process that leaves
// gnuplot's group (setsid, setpgid) comes back to it when its parent ends. Its end kills
// gnuplot's group and every child of the command, reaps them, gives the signals back their
// dispositions, and then, when an ending signal came, ends the command by that signal.
class childwatch {
 public:
  childwatch();
  ~childwatch();
  childwatch(const childwatch&) = delete;
  childwatch& operator=(const childwatch&) = delete;

  int wakefd() const { return wake_[0]; }
  // Empties the wake pipe; returns the ending signal that came, or 0.
  int woken() const;
  // Holds the signals off while a child is started, or lets them in again.
  void hold(bool held);
  // In the started child, before exec (only calls that a child of fork may make): the caller's
  // signal dispositions and mask, and the parent's death kills it (Linux).
  void inchild(pid_t parent) const;
  // Notes gnuplot, started in a group of its own.
  void started(pid_t pid);
  // Whether gnuplot has ended or stopped, told without reaping it where the system can: its id,
  // and so its group's, is then taken until the end. `signal` is what stopped it.
  childstate state(int& signal);
  // Kills gnuplot's group and every child of the command and reaps them: returns gnuplot's
  // wait status.
  int endall();

 private:
  std::array<struct sigaction, endingsignals.size()> before_{};
  struct sigaction childbefore_ {};
  sigset_t mask_{};
  int wake_[2] = {-1, -1};
  pid_t pid_ = 0;
  int status_ = 0;
  bool reaped_ = false, pipeignored_ = false, sizeignored_ = false;
  int reaper_ = 0;
};

}  // namespace eigenshoot
