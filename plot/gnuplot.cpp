// gnuplot started with no shell in between and served on three pipes by one poll() loop: its
// script and data written while its pictures and words are read, so that neither side waits for
// the other however large the data are. Reading stops when gnuplot has ended, even while a
// process of its keeps a pipe open.
#include "plot/gnuplot.h"

#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "base/base.h"
#include "plot/children.h"

extern char** environ;

namespace eigenshoot {

namespace {

// A pipe of the command's, its ends closed on exec; the end numbered `unblocked` (0 to read,
// 1 to write), if any, without blocking.
struct commandpipe {
  ownedfd read, write;
  explicit commandpipe(int unblocked) {
    int ends[2];
    if (pipe(ends) != 0) failed("cannot start gnuplot", errno);
    read.reset(ends[0]);
    write.reset(ends[1]);
    for (int end : ends) fcntl(end, F_SETFD, FD_CLOEXEC);
    if (unblocked >= 0) fcntl(ends[unblocked], F_SETFL, O_NONBLOCK);
  }
};

// Reads what `fd` (which does not block, and so is not interrupted) holds now into `into`,
// keeping at most `most` bytes of all: false at its end.
bool readsome(int fd, std::string& into, std::size_t most) {
  char buffer[16384];  // a quarter of what a pipe holds: the frame stays under 64 KiB
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return n < 0 && errno == EAGAIN;
    into.append(buffer, std::min(static_cast<std::size_t>(n), most - std::min(most, into.size())));
  }
}

}  // namespace

gnuplotrun rungnuplot(std::string_view input, double seconds, std::size_t most) {
  // gnuplot's environment: the caller's, without the variables that change what gnuplot draws
  // (GNUTERM, GNUPLOT_*), in a UTF-8 locale whatever the caller's (where the system lacks
  // C.UTF-8, gnuplot stays in C, and the script's own encoding is UTF-8).
  char utf8[] = "LC_ALL=C.UTF-8";
  std::vector<char*> envp;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view text(*variable);
    if (!text.starts_with("GNUTERM=") && !text.starts_with("GNUPLOT_") &&
        !text.starts_with("LC_ALL="))
      envp.push_back(*variable);
  }
  envp.insert(envp.end(), {utf8, nullptr});
  // gnuplot reads a script on its standard input a byte a call, as it would a terminal, but a
  // script named as a file in large blocks: its standard input is named where the system names
  // it (ten times faster for a large build).
  char name[] = "gnuplot", defaults[] = "-d", script[] = "/dev/stdin";
  char* const argv[] = {name, defaults, access(script, R_OK) == 0 ? script : nullptr, nullptr};
  commandpipe in(1), out(0), err(0), report(-1);
  const struct rlimit nocore = {0, 0};
  gnuplotrun run;
  childwatch watch;
  watch.hold(true);
  const pid_t parent = getpid(), pid = fork();
  const int forkerror = errno;
  if (pid == 0) {
    watch.inchild(parent);
    setpgid(0, 0);
    environ = envp.data();
    // In the root directory, nothing that gnuplot or a process of its might write lands among
    // the user's files.
    if (setrlimit(RLIMIT_CORE, &nocore) == 0 && chdir("/") == 0 && dup2(in.read.get(), 0) == 0 &&
        dup2(out.write.get(), 1) == 1 && dup2(err.write.get(), 2) == 2)
      execvp(name, argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t told = write(report.write.get(), &error, sizeof error);
    _exit(127);
  }
  if (pid > 0) watch.started(pid);
  watch.hold(false);
  if (pid < 0) failed("cannot start gnuplot", forkerror);
  // The time gnuplot has had, counted by turns of the loop below, each of which waits half a
  // second at most and counts three quarters at most: the time the command itself was stopped
  // (^Z, a debugger) while gnuplot waited for it is not counted against gnuplot.
  using clock = std::chrono::steady_clock;
  std::chrono::duration<double> spent{0};
  clock::time_point turn = clock::now();
  for (ownedfd* end : {&in.read, &out.write, &err.write, &report.write}) end->reset();
  // Why gnuplot could not be started, if it could not: the report's pipe ends at its start.
  int execerror = 0;
  ssize_t told;
  while ((told = read(report.read.get(), &execerror, sizeof execerror)) < 0 && errno == EINTR) {
  }
  if (told == sizeof execerror) {
    if (execerror == ENOENT)
      throw fatalerror("gnuplot is not installed (Debian: apt-get install gnuplot-nox)");
    failed("gnuplot", execerror);
  }
  std::size_t written = 0;
  for (;;) {
    int signal = 0;
    const childstate state = watch.state(signal);
    if (state == childstate::stopped)
      throw fatalerror("gnuplot was stopped (signal " + std::to_string(signal) +
                       ") and has been ended");
    if (state == childstate::ended) break;
    const clock::time_point now = clock::now();
    spent += std::min<std::chrono::duration<double>>(now - std::exchange(turn, now),
                                                     std::chrono::milliseconds(750));
    if (spent.count() >= seconds)
      throw fatalerror("gnuplot had not drawn the pictures after " +
                       std::to_string(std::lround(seconds)) +
                       " seconds and has been ended: its font configuration (fonts.conf) may be "
                       "one that never ends");
    pollfd polled[] = {{watch.wakefd(), POLLIN, 0},
                       {in.write.get(), POLLOUT, 0},
                       {out.read.get(), POLLIN, 0},
                       {err.read.get(), POLLIN, 0}};
    if (poll(polled, 4, 500) < 0 && errno != EINTR) failed("gnuplot", errno);
    if (watch.woken() != 0) throw fatalerror("gnuplot ended by a signal to the command");
    if (polled[1].revents != 0) {
      const ssize_t n = write(in.write.get(), input.data() + written,
                              std::min<std::size_t>(input.size() - written, 1 << 16));
      if (n > 0) written += static_cast<std::size_t>(n);
      // All written, or gnuplot has stopped reading: its end of file.
      if (written == input.size() || (n < 0 && errno != EAGAIN && errno != EINTR)) in.write.reset();
    }
    if (polled[2].revents != 0 && !readsome(out.read.get(), run.out, most + 1)) out.read.reset();
    if (run.out.size() > most) throw fatalerror("gnuplot wrote more than two pictures");
    if (polled[3].revents != 0 && !readsome(err.read.get(), run.said, 4096)) err.read.reset();
  }
  // gnuplot has ended: all that it wrote is in the pipes, and nothing else of its is left to
  // write more once all are killed.
  run.status = watch.endall();
  if (out.read.get() >= 0) readsome(out.read.get(), run.out, most + 1);
  if (err.read.get() >= 0) readsome(err.read.get(), run.said, 4096);
  return run;
}

}  // namespace eigenshoot
