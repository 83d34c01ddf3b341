// Integers as decimal text, for message parameters and fixed-width fields.
#include "core/text.h"

#include <cstddef>
#include <cstring>

namespace velm {

int int_to_decimal(std::int32_t value, char* out) {
  // Work on the magnitude as an unsigned number so that the most negative
  // integer converts too.
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                      : static_cast<std::uint32_t>(value);
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int length = 0;
  if (value < 0) out[length++] = '-';
  while (n > 0) out[length++] = digits[--n];
  return length;
}

bool int_to_text(std::int32_t value, char* out, int width) {
  if (width <= 0) return false;
  char text[12];
  const int length = int_to_decimal(value, text);
  if (length > width) {
    std::memset(out, '*', static_cast<std::size_t>(width));
    return false;
  }
  std::memset(out, ' ', static_cast<std::size_t>(width - length));
  std::memcpy(out + (width - length), text, static_cast<std::size_t>(length));
  return true;
}

}  // namespace velm
