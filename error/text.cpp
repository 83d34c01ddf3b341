// Text helpers on blank-padded text of given length.
#include "error/text.h"

#include <algorithm>
#include <cstring>

namespace velm {
namespace {

char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

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

TextToInt text_to_int(std::string_view text) {
  const int n = static_cast<int>(text.size());
  int i = 0;
  while (i < n && text[i] == ' ') ++i;
  if (i == n) return {0, -1};
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
    while (i < n && text[i] == ' ') ++i;
  }
  while (i < n && text[i] == '0') ++i;
  // Accumulate the negative value so that the most negative integer is read
  // exactly; the largest integer bounds the magnitude of either sign.
  constexpr std::int64_t kLargest = 2147483647;
  std::int64_t magnitude = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > kLargest) return {0, -2};
  }
  const auto value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return {value, i == n ? 0 : i + 1};
}

int first_not_of(std::string_view text, char c) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != c) return static_cast<int>(i + 1);
  }
  return 0;
}

int find_nocase(std::string_view text, std::string_view pattern) {
  if (pattern.empty() || pattern.size() > text.size()) return 0;
  for (std::size_t i = 0; i + pattern.size() <= text.size(); ++i) {
    std::size_t j = 0;
    while (j < pattern.size() && to_upper(text[i + j]) == to_upper(pattern[j])) ++j;
    if (j == pattern.size()) return static_cast<int>(i + 1);
  }
  return 0;
}

int compare_nocase(std::string_view a, std::string_view b) {
  const std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char ca = i < a.size() ? to_upper(a[i]) : ' ';
    const char cb = i < b.size() ? to_upper(b[i]) : ' ';
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

bool copy_padded(std::string_view source, char* target, int target_length) {
  const std::size_t capacity = target_length > 0 ? static_cast<std::size_t>(target_length) : 0;
  const std::size_t n = std::min(source.size(), capacity);
  std::memmove(target, source.data(), n);
  std::memset(target + n, ' ', capacity - n);
  return source.size() > capacity;
}

}  // namespace velm
