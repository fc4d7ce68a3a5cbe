// The scratch directory beside the pictures, in which gnuplot draws; the signals that remove it
// and end the command while it is there; and the replacement of the pictures.
#pragma once

#include <array>
#include <csignal>
#include <cstddef>
#include <string>

namespace eigenshoot {

// Names in the scratch directory: the pictures (the same as in the working directory), the
// gnuplot script, and all that gnuplot says.
inline constexpr std::array pictures = {"eigenfunctions.png", "convergence.png"};
inline constexpr const char* scriptname = "eigenshoot-plot.gp";
inline constexpr const char* gnuplotout = "gnuplot.out";

// The signals that remove the scratch directory and end the command by the signal.
inline constexpr std::array caught = {SIGHUP, SIGINT, SIGTERM, SIGQUIT};

// Sets the disposition of `signal` with every caught signal held off while `handler` runs.
void setdisposition(int signal, void (*handler)(int), int flags = 0);

// Holds the caught signals and SIGCHLD off while it lives.
class signalsheld {
 public:
  signalsheld();
  ~signalsheld();
  signalsheld(const signalsheld&) = delete;
  signalsheld& operator=(const signalsheld&) = delete;
  // The signals held off before.
  const sigset_t& before() const { return before_; }

 private:
  sigset_t before_;
};

// The scratch directory (mode 0700), made in the working directory and removed with all it
// holds, also by a signal. While it lives, HUP, INT, TERM and QUIT remove it, end gnuplot with
// all it started, and end the command by the signal, unless the caller ignored them (under
// nohup, in a script's background job): those stay ignored.
class scratch {
 public:
  scratch();
  ~scratch();
  scratch(const scratch&) = delete;
  scratch& operator=(const scratch&) = delete;
  int fd() const;
  const char* name() const;
  // Whether the caller ignored caught[i].
  bool ignored(std::size_t i) const { return before_[i].sa_handler == SIG_IGN; }

 private:
  std::array<struct sigaction, caught.size()> before_{};
};

// Replaces both pictures of the working directory by those of the scratch directory, or
// neither.
void replacepictures();

}  // namespace eigenshoot
