// The base under both commands: the failure that stops a command and its "name: reason"
// wording, a descriptor of the command's own, and the signals that both commands ignore for
// themselves while keeping the caller's dispositions for a program they start.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace eigenshoot {

// A failure that stops a command: what() is the diagnostic after the command's name, such as
// "apartat4.dat: No space left on device".
class fatalerror : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws fatalerror "name: the system's reason for `error`". A name built for the call (which
// may allocate, and so change errno) is built from errno saved before it.
[[noreturn]] void failed(std::string_view name, int error);
// Throws fatalerror "name: why".
[[noreturn]] void failed(std::string_view name, std::string_view why);

// A descriptor of the command's own, closed when it goes or is reset. -1 holds none.
class ownedfd {
 public:
  explicit ownedfd(int fd = -1) : fd_(fd) {}
  ~ownedfd() { reset(); }
  ownedfd(ownedfd&& other) noexcept : fd_(other.release()) {}
  ownedfd& operator=(ownedfd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  int get() const { return fd_; }
  void reset(int fd = -1);
  // Gives the descriptor up without closing it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// SIGPIPE and SIGXFSZ ignored for the command itself: a write to a reader that has gone away or
// past a file-size limit then fails with EPIPE or EFBIG and is reported like any other failed
// write, instead of ending the command. The caller's dispositions are noted first.
void ignorewritesignals();
// Whether the caller ignored `signal` when the command started: for SIGPIPE and SIGXFSZ as
// noted by ignorewritesignals(), for any other as it is now. A program that the command starts
// gets the caller's dispositions back.
bool callerignored(int signal);

}  // namespace eigenshoot
