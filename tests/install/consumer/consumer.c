/* Links an installed edition and prints the first uniform after seed 12345. */
#include <stdio.h>

#include "velmprob.h"

int main(void) {
  const int32_t seed = 12345;
  const float a = 0.0f, b = 1.0f;
  float u;
  VELMSETSEED(&seed);
  u = VELMUNIFORM(&a, &b);
  printf("%.9g %d\n", (double)u, (int)VELMGETSEED());
  return 0;
}
