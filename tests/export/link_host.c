/* A C host linked against the library at build time (on Windows through the
   import library) that calls the exports through the header's declarations.
   On 32-bit Windows those are __stdcall, so the host refers to NAME@n, and
   the import library must lead each of them to the DLL's plain export name.
   Exits with 0 when the calls reproduce a stream from its seed. */
#include <stdio.h>

#include "velmprob.h"

int main(void) {
  const int32_t seed = 12345;
  const float lo = -1.0f, hi = 3.0f, mean = 10.0f, sd = 2.0f;
  float first[2], again[2];
  VELMSETSEED(&seed);
  first[0] = VELMUNIFORM(&lo, &hi);
  first[1] = VELMNORMAL(&mean, &sd);
  const int32_t after = VELMGETSEED();
  VELMSETSEED(&seed);
  again[0] = VELMUNIFORM(&lo, &hi);
  again[1] = VELMNORMAL(&mean, &sd);
  if (!(first[0] > lo && first[0] < hi) || first[0] != again[0] || first[1] != again[1] ||
      after != VELMGETSEED() || after == seed) {
    printf("link_host: not reproduced: %.9g %.9g, again %.9g %.9g, seed after %ld\n",
           first[0], first[1], again[0], again[1], (long)after);
    return 1;
  }
  printf("link_host: %.9g %.9g, seed after %ld\n", first[0], first[1], (long)after);
  return 0;
}
