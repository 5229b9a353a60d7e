#include "runtime/text.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace pelorin::text {

namespace {

constexpr int kEnd = -1;
// What a two-byte character outside the folded forms reads as: a byte no number syntax uses.
constexpr int kOther = 0x80;

// Reads a text character by character, folding the full-width forms A3A1..A3FE to ASCII
// 0x21..0x7E and the ideographic space A1A1 to a space, so the number syntax sees plain ASCII.
class FoldedReader {
 public:
  explicit FoldedReader(std::string_view s) : s_(s) {}

  int peek() const {
    if (at_ >= s_.size()) {
      return kEnd;
    }
    const auto lead = static_cast<unsigned char>(s_[at_]);
    if (!is_lead_byte(lead)) {
      return lead;
    }
    if (at_ + 1 >= s_.size()) {
      return kOther;
    }
    const auto trail = static_cast<unsigned char>(s_[at_ + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      return trail - 0x80;
    }
    if (lead == 0xA1 && trail == 0xA1) {
      return ' ';
    }
    return kOther;
  }
  void next() { at_ += char_length(s_, at_); }

 private:
  std::string_view s_;
  std::size_t at_ = 0;
};

bool is_blank(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool is_digit(int c) {
  return c >= '0' && c <= '9';
}

void skip_blanks(FoldedReader& r) {
  while (is_blank(r.peek())) {
    r.next();
  }
}

// Reads an optional sign; true when it was a minus.
bool read_sign(FoldedReader& r) {
  const int c = r.peek();
  if (c != '+' && c != '-') {
    return false;
  }
  r.next();
  return c == '-';
}

// Appends the digits at the reader to `out`; returns how many there were.
std::size_t read_digits(FoldedReader& r, std::string& out) {
  std::size_t count = 0;
  for (int c = r.peek(); is_digit(c); c = r.peek()) {
    out.push_back(static_cast<char>(c));
    ++count;
    r.next();
  }
  return count;
}

// For a decimal text outside the range of double: whether it is too large (rather than too
// small). Such a text's first significant digit stands at a decimal power far from zero, so the
// sign of that power decides. `mantissa` is digits with an optional point, `exponent` the
// exponent digits after an optional minus (possibly empty).
bool beyond_largest(std::string_view mantissa, std::string_view exponent) {
  std::int64_t power = 0;  // decimal power of the first significant digit, plus one
  std::size_t i = 0;
  while (i < mantissa.size() && mantissa[i] == '0') {
    ++i;
  }
  if (i < mantissa.size() && mantissa[i] != '.') {
    for (; i < mantissa.size() && mantissa[i] != '.'; ++i) {
      ++power;
    }
  } else if (i < mantissa.size()) {
    for (++i; i < mantissa.size() && mantissa[i] == '0'; ++i) {
      --power;
    }
  }
  // Past this cap the exponent outweighs any digit count a text in memory can have.
  constexpr std::int64_t kExponentCap = 1'000'000'000'000'000;
  std::int64_t exp = 0;
  for (char c : exponent) {
    if (is_digit(c) && exp < kExponentCap) {
      exp = exp * 10 + (c - '0');
    }
  }
  const bool negative = !exponent.empty() && exponent[0] == '-';
  return power + (negative ? -exp : exp) > 0;
}

}  // namespace

std::size_t char_length(std::string_view s, std::size_t at) {
  if (at >= s.size()) {
    return 0;
  }
  return is_lead_byte(static_cast<unsigned char>(s[at])) && at + 1 < s.size() ? 2 : 1;
}

std::int32_t to_integer(std::string_view s) {
  FoldedReader r(s);
  skip_blanks(r);
  const bool negative = read_sign(r);
  std::uint32_t value = 0;
  for (int c = r.peek(); is_digit(c); c = r.peek()) {
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
    r.next();
  }
  if (negative) {
    value = 0u - value;
  }
  return static_cast<std::int32_t>(value);  // two's complement, modulo 2^32
}

double to_number(std::string_view s) {
  FoldedReader r(s);
  skip_blanks(r);
  const bool negative = read_sign(r);
  std::string mantissa;
  std::size_t digits = read_digits(r, mantissa);
  if (r.peek() == '.') {
    mantissa.push_back('.');
    r.next();
    digits += read_digits(r, mantissa);
  }
  if (digits == 0) {
    return 0.0;
  }

  // An exponent counts only when its letter is followed by digits; otherwise the number ends at
  // the letter.
  std::string exponent;
  if (const int c = r.peek(); c == 'e' || c == 'E') {
    FoldedReader at_exponent = r;
    at_exponent.next();
    if (read_sign(at_exponent)) {
      exponent.push_back('-');
    }
    if (read_digits(at_exponent, exponent) == 0) {
      exponent.clear();
    }
  }

  std::string number = mantissa;
  if (!exponent.empty()) {
    number.append("e").append(exponent);
  }
  double value = 0.0;
  const std::from_chars_result read = std::from_chars(number.data(), number.data() + number.size(),
                                                      value, std::chars_format::general);
  if (read.ec == std::errc::result_out_of_range) {
    value = beyond_largest(mantissa, exponent) ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

Text replace(std::string_view s, std::string_view what, std::string_view with) {
  if (what.empty()) {
    return Text(s);
  }
  // A `what` that ends in a lone lead byte would take the first half of a pair in `s`; it may
  // match only at the very end of `s`, where that byte is alone too.
  std::size_t what_last = 0;
  for (std::size_t j = 0; j < what.size(); j += char_length(what, j)) {
    what_last = j;
  }
  const bool open_end =
      is_lead_byte(static_cast<unsigned char>(what[what_last])) && what_last + 1 == what.size();

  Text out;
  out.reserve(s.size());
  std::size_t copied = 0;  // bytes of `s` already in `out`
  std::size_t at = 0;      // always a character boundary of `s`
  while (at < s.size()) {
    const std::size_t found = s.find(what, at);
    if (found == std::string_view::npos) {
      break;
    }
    while (at < found) {
      at += char_length(s, at);
    }
    if (at != found) {
      continue;  // `found` lies inside a character
    }
    if (open_end && found + what.size() != s.size()) {
      at += char_length(s, at);
      continue;
    }
    out.append(s.substr(copied, found - copied)).append(with);
    at = found + what.size();
    copied = at;
  }
  out.append(s.substr(copied));
  return out;
}

Text join(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) {
    size += part.size();
  }
  Text out;
  out.reserve(size);
  for (std::string_view part : parts) {
    out.append(part);
  }
  return out;
}

std::string_view cut(std::string_view s, std::size_t max_bytes) {
  if (s.size() <= max_bytes) {
    return s;
  }
  std::size_t end = 0;
  while (end + char_length(s, end) <= max_bytes) {
    end += char_length(s, end);
  }
  return s.substr(0, end);
}

}  // namespace pelorin::text
