// A fresh temporary directory for one test, removed with all it holds afterwards; file contents;
// a FIFO with a writer that only a reader releases.
#pragma once

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "base/base.h"

struct testdir {
  std::filesystem::path path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "eigenshoot-XXXXXX").string();
    return std::filesystem::path(mkdtemp(pattern.data()));
  }();
  ~testdir() { std::filesystem::remove_all(path); }
};

inline std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The message of the fatal error that a call ends in, or "" when it returns.
template <class Call>
std::string refusal(Call&& call) {
  try {
    call();
    return "";
  } catch (const eigenshoot::fatalerror& refused) {
    return refused.what();
  }
}

// A FIFO with a writer blocked in opening it, which only a reader releases.
class blockedwriter {
 public:
  explicit blockedwriter(const std::filesystem::path& fifo) : fifo_(fifo) {
    thread_ = std::thread([this] { close(::open(fifo_.c_str(), O_WRONLY)), released_ = true; });
    usleep(20000);  // time for the writer to reach its open
  }
  // Whether a reader released the writer; the test's own open (which does not wait for a
  // writer that has gone) then ends the thread.
  bool released() {
    usleep(20000);
    const bool was = released_;
    const int fd = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
    thread_.join();
    if (fd >= 0) close(fd);
    return was;
  }

 private:
  std::filesystem::path fifo_;
  std::atomic<bool> released_ = false;
  std::thread thread_;
};
