// Integers as text for the error facility: plain decimal text for message
// parameters and right-aligned fields for fixed-layout records.
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

}  // namespace velm
