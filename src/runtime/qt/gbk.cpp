#include "runtime/qt/gbk.h"

#include <iconv.h>

#include <cerrno>

namespace pelorin::qt {

namespace {

// Converts all of `in`; a byte that cannot be converted becomes `replacement` (in the target
// encoding) and conversion goes on after it.
std::string convert(const char* to, const char* from, std::string_view in,
                    std::string_view replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out;
  out.resize(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  char* dst = out.data();
  std::size_t dst_left = out.size();
  while (src_left > 0) {
    if (iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      const std::size_t used = static_cast<std::size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      dst_left = out.size() - used;
      continue;
    }
    // An invalid or cut-short sequence: replace one byte and go on.
    ++src;
    --src_left;
    if (dst_left < replacement.size()) {
      const std::size_t used = static_cast<std::size_t>(dst - out.data());
      out.resize(out.size() * 2 + replacement.size());
      dst = out.data() + used;
      dst_left = out.size() - used;
    }
    for (char c : replacement) *dst++ = c;
    dst_left -= replacement.size();
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  iconv_close(cd);
  return out;
}

}  // namespace

QString from_gbk(std::string_view text) {
  return QString::fromStdString(convert("UTF-8", "GB18030", text, "\xEF\xBF\xBD"));
}

std::string to_gbk(const QString& text) {
  return convert("GB18030", "UTF-8", text.toStdString(), "?");
}

}  // namespace pelorin::qt
