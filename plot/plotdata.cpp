// What the pictures show, computed from a run's files: each eigenfunction at the positions its
// values belong to against the exact one of the marched problem, and the distance of each
// estimate from the exact eigenvalue.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <string_view>

#include "plot/plot.h"

#include <fcntl.h>
#include <unistd.h>

namespace eigenshoot {

namespace {

class datafile {
 public:
  explicit datafile(const char* name) : name_(name) {}
  void text(std::string_view more) { text_.append(more); }
  template <class... T>
  void print(const char* layout, T... numbers) {
    char line[256];
    const int n = std::snprintf(line, sizeof line, layout, numbers...);
    text_.append(line, static_cast<std::size_t>(n));
  }
  void write(int dir, const std::string& where) const { writenewfile(dir, where, name_, text_); }

 private:
  const char* name_;
  std::string text_;
};

}  // namespace

void writenewfile(int dir, const std::string& where, const char* name, std::string_view text) {
  const int fd = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  std::size_t done = 0;
  while (fd >= 0 && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno != EINTR) break;
    if (n == 0) {  // no progress: the file system takes no more
      errno = ENOSPC;
      break;
    }
    done += n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  int fault = fd < 0 || done < text.size() ? errno : 0;
  if (fd >= 0 && close(fd) != 0 && fault == 0) fault = errno;
  if (fault != 0) throw fatalerror(where + "/" + name + ": " + std::strerror(fault));
}

void writeplotdata(int dir, const std::string& where, const runfiles& run) {
  datafile eigen("eigen.dat"), passes("passes.dat"), guesses("guesses.dat"), numbers("run.gp");
  const double pi = std::numbers::pi, L = npts * h, span = qb - qa;
  std::size_t most = 0;
  for (int i = 1; i <= neig; ++i) {
    const eigenblock& block = run.blocks[static_cast<std::size_t>(i - 1)];
    const searchpasses& search = run.searches[static_cast<std::size_t>(i - 1)];
    const double exact = (i * pi / L) * (i * pi / L), c = i * pi / L;
    // sin(c t), t = x - x0, at unit norm over the samples of the normalization: qb - qa long,
    // from t = h, where the first value belongs.
    const double unit =
        1.0 / std::sqrt(span / 2 - (std::sin(2 * c * (h + span)) - std::sin(2 * c * h)) / (4 * c));
    for (int k = 1; k <= npts; ++k) {
      const double v = block.value[static_cast<std::size_t>(k - 1)], f = unit * std::sin(c * k * h);
      eigen.print("%.17g %.17g %.17g %.17g\n", x0 + k * h, v, f, v - f);
    }
    eigen.text("\n\n");
    for (std::size_t m = 1; m <= search.estimate.size(); ++m) {
      passes.print("%zu %.17g\n", m, std::abs(search.estimate[m - 1] - exact));
    }
    passes.text("\n\n");
    guesses.print("0 %.17g\n0 %.17g\n\n\n",
                  std::abs(guess1[static_cast<std::size_t>(i - 1)] - exact),
                  std::abs(guess2[static_cast<std::size_t>(i - 1)] - exact));
    numbers.print("E%d = %.17g; exact%d = %.17g\n", i, block.E, i, exact);
    most = std::max(most, search.estimate.size());
  }
  numbers.print("n = %d; h = %.17g; L = %.17g; neig = %d; most = %zu; tol = %.17g\n", npts, h, L,
                neig, most, tol);
  numbers.print("x0 = %.17g; qa = %.17g; qb = %.17g\n", x0, qa, qb);
  for (const datafile* file : {&eigen, &passes, &guesses, &numbers}) file->write(dir, where);
}

}  // namespace eigenshoot
