#include <cmath>

#include "kernels/kernels.h"
#include "output/output.h"
#include "solver/solver.h"

namespace eigenshoot {

double normalize(int i) {
  std::array<double, npts> g;
  for (int k = 1; k <= npts; ++k) g[k - 1] = psi(i, k) * psi(i, k);
  double s = 0.0;
  myintegrator(imeth, qa, qb, g.data(), npts, s);
  return 1.0 / std::sqrt(s);
}

void eigenfunctions() {
  openunit(2, eigenfile);

  for (int i = 1; i <= neig; ++i) {
    cts.E = eigen[i - 1];
    shoot(i);
  }

  for (int i = 1; i <= neig; ++i) {
    norm[i - 1] = normalize(i);
    writelist(6, norm[i - 1]);
  }

  // Row k pairs the position where step k starts with the value after step k.
  for (int i = 1; i <= neig; ++i) {
    writelist(2);
    writelist(2);
    writelist(2, eigenheader, eigen[i - 1]);
    for (int k = 1; k <= npts; ++k) {
      writefmt(2, samplerecord, position(k), psi(i, k) * norm[i - 1]);
    }
  }
}

}  // namespace eigenshoot
