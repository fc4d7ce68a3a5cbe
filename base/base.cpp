// The base under both commands.
#include "base/base.h"

#include <array>
#include <csignal>
#include <cstring>

#ifdef EIGENSHOOT_POSIX
#include <unistd.h>
#else
#include <io.h>
#endif

namespace eigenshoot {

void failed(std::string_view name, int error) {
  failed(name, std::string_view(std::strerror(error)));
}

void failed(std::string_view name, std::string_view why) {
  std::string message(name);
  throw fatalerror(message.append(": ").append(why));
}

void ownedfd::reset(int fd) {
#ifdef EIGENSHOOT_POSIX
  if (fd_ >= 0) close(fd_);
#else
  if (fd_ >= 0) _close(fd_);
#endif
  fd_ = fd;
}

namespace {

#if defined(SIGPIPE) && defined(SIGXFSZ)
constexpr std::array writesignals = {SIGPIPE, SIGXFSZ};
#else  // a system without them ends no write by a signal
constexpr std::array<int, 0> writesignals = {};
#endif
// Whether the caller ignored each of `writesignals`, once noted.
std::array<bool, writesignals.size()> ignoredbycaller{};
bool noted = false;

}  // namespace

void ignorewritesignals() {
  for (std::size_t i = 0; i < writesignals.size(); ++i) {
    const auto before = std::signal(writesignals[i], SIG_IGN);
    if (!noted) ignoredbycaller[i] = before == SIG_IGN;
  }
  noted = true;
}

bool callerignored(int signal) {
  for (std::size_t i = 0; i < writesignals.size(); ++i) {
    if (writesignals[i] == signal && noted) return ignoredbycaller[i];
  }
#ifdef EIGENSHOOT_POSIX
  struct sigaction now;
  return sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_IGN;
#else
  return false;
#endif
}

}  // namespace eigenshoot
