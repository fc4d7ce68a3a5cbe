#include "kernels/kernels.h"

namespace eigenshoot {

namespace {

void (*tellmessage)(std::string_view message) = nullptr;

}  // namespace

void quadraturemessages(void (*tell)(std::string_view message)) {
  tellmessage = tell;
}

// Each term is a sample times its weight, the weight recomputed for every term, added to the
// running sum strictly left to right: the interior samples first, the two end samples last.
void myintegrator(int im, double a, double b, const double* f, int npts, double& result) {
  result = 0.0;
  if (npts < 2) return;
  const double hq = (b - a) / static_cast<double>(npts - 1);

  for (int k = 2; k <= npts - 1; ++k) {
    const double fk = f[k - 1];
    if (im == 1) {
      result = fk * hq + result;
    } else if (im == 2 && k % 2 == 0) {
      result = fk * ((hq + hq) / 3.0) + result;
    } else if (im == 2) {
      result = fk * ((4.0 * hq) / 3.0) + result;
    } else {
      if (tellmessage != nullptr) tellmessage("Valor IM no valid");
    }
  }

  if (im == 1) result = (f[npts - 1] + f[0]) * (hq / 2.0) + result;
  if (im == 2) result = (f[npts - 1] + f[0]) * (hq / 3.0) + result;
}

}  // namespace eigenshoot
