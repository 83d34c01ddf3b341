// Guarded division and the position of an extreme element.
#include "core/machine.h"

#include <cmath>
#include <cstddef>

namespace velm {

float SAFDIV(float a, float b) {
  if (NANBIT(a) || NANBIT(b)) return machine_real(6);
  const float abs_a = std::fabs(a);
  const float abs_b = std::fabs(b);
  if (abs_b > 1.0f) return abs_a < machine_real(1) * abs_b ? 0.0f : a / b;
  if (abs_a >= machine_real(2) * abs_b) {
    if (a == 0.0f) return machine_real(6);
    // A zero divisor of either sign counts as positive.
    const bool negative_b = b < 0.0f;
    const bool negative_a = a < 0.0f;
    return negative_a == negative_b ? machine_real(7) : machine_real(8);
  }
  return a / b;
}

namespace {
// Element count (from 1) of the first element that no later one beats: a
// candidate is replaced only when better(v, candidate) holds strictly.
template <typename Better>
int first_extreme(int n, const float* x, int incx, Better better) {
  if (n <= 0) return 0;
  int best = 1;
  float candidate = x[0];
  for (int i = 1; i < n; ++i) {
    const float v = x[static_cast<std::ptrdiff_t>(i) * incx];
    if (better(v, candidate)) {
      candidate = v;
      best = i + 1;
    }
  }
  return best;
}
}  // namespace

int IDXMAX(int n, const float* x, int incx) {
  return first_extreme(n, x, incx, [](float v, float c) { return v > c; });
}

int IDXMIN(int n, const float* x, int incx) {
  return first_extreme(n, x, incx, [](float v, float c) { return v < c; });
}

}  // namespace velm
