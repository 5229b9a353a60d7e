// Text operations on GBK byte strings (code page 936).
//
// A byte of 0x81 or above and the byte after it form one two-byte character; no operation here
// splits such a pair. A lead byte at the very end of a text (a pair cut short) counts as one
// character of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace pelorin::text {

using Text = std::string;

constexpr bool is_lead_byte(unsigned char c) {
  return c >= 0x81;
}

// Length in bytes of the character that starts at `at` (1 or 2; 1 for a lead byte at the end).
std::size_t char_length(std::string_view s, std::size_t at);

// Whole number of a text: full-width digits, signs and the ideographic space fold to their ASCII
// forms; leading blanks, one sign, then digits up to the first other character. The digits
// accumulate modulo 2^32 and the result is read as a signed 32-bit number. No digits give 0.
std::int32_t to_integer(std::string_view s);

// Decimal number of a text, folded as above: leading blanks, a sign, digits with an optional point
// and fraction, an optional exponent; reading stops at the first misfit. The digits read are
// rounded correctly to double. No digits give 0.
double to_number(std::string_view s);

// Every occurrence of `what` by `with`, exact case, left to right, not overlapping, matched only
// at character boundaries. An empty `what` leaves the text as it is.
Text replace(std::string_view s, std::string_view what, std::string_view with);

// The texts one after another.
Text join(std::initializer_list<std::string_view> parts);

// The longest head of `s` of at most `max_bytes` bytes that ends on a character boundary.
std::string_view cut(std::string_view s, std::size_t max_bytes);

}  // namespace pelorin::text
