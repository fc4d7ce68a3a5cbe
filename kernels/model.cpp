#include <array>
#include <stdexcept>

#include "kernels/kernels.h"

namespace eigenshoot {

ctsarea cts;

void derivad(double /*x*/, const double* y, double* dydx, int /*n*/) {
  dydx[0] = y[1];
  dydx[1] = -(cts.E * y[0]);
}

// Every operation below is a separate double operation in exactly this order; the
// printed digits of the whole run depend on it. The work vectors are fixed storage on
// the stack, so a step never allocates; a debug build checks every index into them.
void mirungekutta4(double x, double h, const double* y, int n, double* ynew) {
  if (n != nmodel) throw std::invalid_argument("mirungekutta4: the model's state has 2 components");
  std::array<double, nmodel> k1, k2, k3, k4, t;

  derivad(x, y, k1.data(), n);
  for (int j = 0; j < n; ++j) t[j] = (k1[j] / 2.0) * h + y[j];
  derivad(h / 2.0 + x, t.data(), k2.data(), n);
  for (int j = 0; j < n; ++j) t[j] = (k2[j] / 2.0) * h + y[j];
  derivad(h / 2.0 + x, t.data(), k3.data(), n);
  for (int j = 0; j < n; ++j) t[j] = k3[j] * h + y[j];
  derivad(h + x, t.data(), k4.data(), n);
  for (int j = 0; j < n; ++j) {
    ynew[j] = (((k1[j] + 2.0 * k2[j]) + 2.0 * k3[j]) + k4[j]) * (h / 6.0) + y[j];
  }
}

}  // namespace eigenshoot
