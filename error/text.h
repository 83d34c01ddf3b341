// Text helpers of the error facility and the report printer. They work on
// blank-padded text of given length.
#pragma once

#include <cstdint>
#include <string_view>

namespace velm {

// The decimal text of value without blanks (a minus sign before a negative
// number) written to out, which holds at least 11 characters; returns its
// length.
int int_to_decimal(std::int32_t value, char* out);

// The decimal digits of value right-aligned in out[0..width-1], a minus sign
// before a negative number. False (field filled with '*') if it does not fit.
bool int_to_text(std::int32_t value, char* out, int width);

// Reads an integer from text: leading blanks, one sign, blanks after the sign
// and leading zeros are skipped, then digits are read. status is the position
// (from 1) where reading stopped at a non-digit, 0 when the field was used up,
// -1 for an empty field and -2 on overflow beyond the largest integer.
struct TextToInt {
  std::int32_t value;
  int status;
};
TextToInt text_to_int(std::string_view text);

// Position (from 1) of the first character that differs from c; 0 if none.
int first_not_of(std::string_view text, char c = ' ');

// Position (from 1) of the first occurrence of pattern in text, letters a-z
// matched with A-Z; 0 if none.
int find_nocase(std::string_view text, std::string_view pattern);

// -1, 0 or 1; letters compared without regard to case, the shorter text taken
// as padded with blanks.
int compare_nocase(std::string_view a, std::string_view b);

// Copies source into target and fills the rest of target with blanks; returns
// true when the source was cut to fit.
bool copy_padded(std::string_view source, char* target, int target_length);

}  // namespace velm
