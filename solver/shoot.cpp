#include <stdexcept>

#include "kernels/kernels.h"
#include "solver/solver.h"

namespace eigenshoot {

std::array<double, neig> eigen{};
sampletable psi{};
std::array<double, neig> norm{};

namespace {

// The march proper. Flattened: the step and the model are inlined into it (across translation
// units when the build uses link-time optimization), so the state stays in registers from step
// to step. Where the platform can pick a clone at start-up, it is also compiled for AVX and
// that version runs where the processor has it: three-operand instructions need no register
// copies. Both versions perform the same double operations in the same order. It throws
// nothing: shoot checks the row first.
#ifdef EIGENSHOOT_CLONES
#define EIGENSHOOT_MARCHCLONES [[gnu::target_clones("avx", "default")]]
#else
#define EIGENSHOOT_MARCHCLONES
#endif
EIGENSHOOT_MARCHCLONES [[gnu::flatten]] double march(int record, int steps) noexcept {
  double y[ncomp] = {ystart[0], ystart[1]};
  double ynew[ncomp] = {ystart[0], ystart[1]};
  for (int k = 1; k <= steps; ++k) {
    mirungekutta4(position(k), h, y, ncomp, ynew);
    if (record != norecord) psi(record, k) = ynew[0];
    y[0] = ynew[0];
    y[1] = ynew[1];
  }
  return ynew[0];
}

}  // namespace

double shoot(int record, int steps) {
  if (record != norecord && (record < 1 || record > neig || steps > npts)) {
    throw std::invalid_argument("shoot: no row of psi for this recording");
  }
  return march(record, steps);
}

}  // namespace eigenshoot
