// Symmetric triangular variates on (0, 1) by inversion: the distribution
// function is 2x^2 below the mode 1/2 and 1 - 2(1 - x)^2 above it.
#include <cmath>

#include "error/error.h"
#include "error/machine.h"
#include "random/samplers.h"
#include "random/uniform.h"

namespace velm {

void RNTRI(int nr, float* r) {
  if (nr < 1) {
    E1PSH("RNTRI ");
    int nerr = 1;
    ARGRNG(nr, "NR", 1, -1, nerr);
    E1POP("RNTRI ");
    return;
  }
  RNUN(nr, r);
  for (int i = 0; i < nr; ++i) {
    const float u = r[i];
    r[i] = u <= 0.5f ? std::sqrt(u * 0.5f) : 1.0f - std::sqrt((1.0f - u) * 0.5f);
  }
}

}  // namespace velm
