// Code page 1251 <-> UTF-8 through iconv.
#include "ufhost/base/cp1251.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace ufhost {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`; `skip` tells how many input bytes an unconvertible
  // sequence at `p` spans, `replacement` what stands for it.
  template <typename Skip>
  std::string run(const std::string& in, Skip skip, const std::string& replacement) {
    std::string out;
    char buf[256];
    char* p = const_cast<char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
      char* o = buf;
      std::size_t room = sizeof buf;
      const std::size_t r = iconv(cd_, &p, &left, &o, &room);
      out.append(buf, o);
      if (r != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut off at the end): replace and go on.
      const std::size_t n = std::min(left, skip(p, left));
      p += n;
      left -= n;
      out += replacement;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence that starts at `p`, at least 1; a broken one
// is skipped byte by byte.
std::size_t utf8_length(const char* p, std::size_t left) {
  const auto c = static_cast<unsigned char>(p[0]);
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
  if (n > left) return 1;
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
  return n;
}

bool is_ascii(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string cp1251_to_utf8(const std::string& bytes) {
  if (is_ascii(bytes)) return bytes;
  Converter c("UTF-8", "CP1251");
  if (!c.ok()) return bytes;
  return c.run(bytes, [](const char*, std::size_t) { return std::size_t{1}; }, "\xEF\xBF\xBD");
}

std::string utf8_to_cp1251(const std::string& text) {
  if (is_ascii(text)) return text;
  Converter c("CP1251", "UTF-8");
  if (!c.ok()) return text;
  return c.run(text, utf8_length, "?");
}

}  // namespace ufhost
