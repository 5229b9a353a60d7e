// libFuzzer target over the manifest reader and the text conversions. Each input is loaded as a
// document; the five manifest fields and a lookup named by the input's first line are read, and
// every value and the input itself go through the text operations, with their invariants checked.
//
// Built with clang, which keeps narrow literals in UTF-8, so GBK names are written as bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/text.h"
#include "runtime/xml.h"

namespace {

using namespace pelorin;

constexpr std::string_view kPath =
    "\xD7\xEE\xD0\xC2\xB0\xE6\xB1\xBE/\xB0\xE6\xB1\xBE\xD0\xC5\xCF\xA2";
constexpr std::string_view kFields[] = {
    "\xB0\xE6\xB1\xBE\xBA\xC5",          // version number
    "\xC9\xFD\xBC\xB6\xCB\xB5\xC3\xF7",  // release notes
    "\xCF\xC2\xD4\xD8\xB5\xD8\xD6\xB7",  // download address
    "\xCE\xC4\xBC\xFE\xB1\xEA\xCC\xE2",  // file title
    "\xCE\xC4\xBC\xFE\xC3\xFB",          // file name
};

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// Whether `end` is a character boundary of `s`.
bool on_boundary(std::string_view s, std::size_t end) {
  std::size_t at = 0;
  while (at < end) {
    at += text::char_length(s, at);
  }
  return at == end;
}

void exercise_text(std::string_view s) {
  check(!std::isnan(text::to_number(s)));
  (void)text::to_integer(s);

  const std::size_t limit = s.size() % 97;
  const std::string_view head = text::cut(s, limit);
  check(head.size() <= limit && s.starts_with(head) && on_boundary(s, head.size()));
  if (head.size() < s.size()) {
    check(head.size() + text::char_length(s, head.size()) > limit);
  }

  const std::string_view what = s.substr(0, s.size() % 5);
  check(text::replace(s, what, what) == s);
  const std::string marked = text::replace(s, "#HHF", "\r\n");
  check(marked.size() <= s.size());
  check(text::join({s, marked}).size() == s.size() + marked.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  xml::Document doc;
  const bool accepted = xml::load(doc, bytes);
  check(accepted == doc.loaded());

  for (std::string_view field : kFields) {
    const text::Text value = xml::read_attribute(doc, kPath, field);
    check(accepted || value.empty());
    exercise_text(value);
  }

  // The first line, split at its first "|", names a path and an attribute to look up.
  const std::string_view line = bytes.substr(0, bytes.find('\n'));
  const std::size_t bar = line.find('|');
  if (bar != std::string_view::npos) {
    const text::Text value = xml::read_attribute(doc, line.substr(0, bar), line.substr(bar + 1));
    check(accepted || value.empty());
  }

  exercise_text(bytes);
  xml::release(doc);
  check(!doc.loaded());
  return 0;
}
