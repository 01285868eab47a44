#include "platform/CodePage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/Exception.h"

namespace platform {

namespace {

// Both directions of Windows-1250, built once from glibc's converter.
struct Cp1250Tables {
  std::array<char16_t, 256> ToUnicode{};
  // UTF-16 code unit -> byte; '?' for code units without a Windows-1250 form.
  std::array<unsigned char, 65536> FromUnicode{};
};

Cp1250Tables BuildTables() {
  iconv_t cd = ::iconv_open("UTF-16LE", "CP1250");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    int err = errno;
    throw Exception(std::string("Windows-1250 conversion is not available: ") + std::strerror(err));
  }
  Cp1250Tables t;
  t.FromUnicode.fill(static_cast<unsigned char>('?'));
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    unsigned char out[8] = {};
    char* inPtr = &in;
    size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof out;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset the state
    size_t r = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    char16_t u;
    if (r != static_cast<size_t>(-1) && inLeft == 0 && sizeof out - outLeft == 2) {
      u = static_cast<char16_t>(out[0] | (out[1] << 8));
    } else {
      u = static_cast<char16_t>(b);  // undefined in Windows-1250: the C1 control of that number
    }
    t.ToUnicode[b] = u;
  }
  ::iconv_close(cd);
  for (int b = 0; b < 256; ++b) t.FromUnicode[t.ToUnicode[b]] = static_cast<unsigned char>(b);
  return t;
}

const Cp1250Tables& Tables() {
  static const std::unique_ptr<const Cp1250Tables> tables =
      std::make_unique<const Cp1250Tables>(BuildTables());
  return *tables;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

char16_t Cp1250ToUnicode(unsigned char c) {
  return Tables().ToUnicode[c];
}

std::string Cp1250ToUtf8(std::string_view text) {
  const auto& map = Tables().ToUnicode;
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char ch : text) {
    auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out += ch;
    } else {
      AppendUtf8(out, map[b]);
    }
  }
  return out;
}

std::string Utf8ToCp1250(std::string_view text) {
  const auto& map = Tables().FromUnicode;
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  while (p < end) {
    unsigned char b = *p;
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++p;
      continue;
    }
    // A multi-byte sequence. Ill-formed input becomes one '?' per maximal ill-formed
    // subpart (the Unicode recommendation), so a broken sequence never swallows the bytes
    // that follow it.
    int need;
    char32_t c;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;  // overlong
      if (b == 0xED) hi = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      c = b & 0x07;
      if (b == 0xF0) lo = 0x90;  // overlong
      if (b == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
      out += '?';  // a stray continuation byte or an impossible lead byte
      ++p;
      continue;
    }
    ++p;
    bool ok = true;
    for (int i = 0; i < need; ++i) {
      unsigned char lower = i == 0 ? lo : 0x80, upper = i == 0 ? hi : 0xBF;
      if (p == end || *p < lower || *p > upper) {
        ok = false;
        break;
      }
      c = (c << 6) | (*p & 0x3F);
      ++p;
    }
    if (!ok || c > 0xFFFF) {
      out += '?';
    } else {
      out += static_cast<char>(map[c]);
    }
  }
  return out;
}

}  // namespace platform
