#include "platform/Collation.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/CodePage.h"
#include "platform/Exception.h"

namespace platform {

namespace {

// The Polish collators, opened once. ucol_strcoll on a collator that is no longer changed
// is thread-safe, so every thread shares them.
class PolishCollators {
 public:
  PolishCollators() {
    FCaseInsensitive = Open(UCOL_SECONDARY);
    FCaseSensitive = Open(UCOL_TERTIARY);
  }
  ~PolishCollators() {
    if (FCaseInsensitive != nullptr) ucol_close(FCaseInsensitive);
    if (FCaseSensitive != nullptr) ucol_close(FCaseSensitive);
  }
  PolishCollators(const PolishCollators&) = delete;
  PolishCollators& operator=(const PolishCollators&) = delete;

  const UCollator* Get(bool caseInsensitive) const {
    return caseInsensitive ? FCaseInsensitive : FCaseSensitive;
  }

 private:
  static UCollator* Open(UCollationStrength strength) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open("pl", &status);
    // U_USING_DEFAULT_WARNING would mean the Polish rules are missing and the root order is
    // used instead: index order would silently change, so that is a failure too.
    if (U_FAILURE(status) || c == nullptr || status == U_USING_DEFAULT_WARNING) {
      if (c != nullptr) ucol_close(c);
      throw Exception(std::string("The Polish collation is not available: ") + u_errorName(status));
    }
    // Windows-1250 has no combining marks, so normalization is not needed.
    ucol_setStrength(c, strength);
    return c;
  }

  UCollator* FCaseInsensitive = nullptr;
  UCollator* FCaseSensitive = nullptr;
};

const PolishCollators& Collators() {
  static const PolishCollators collators;
  return collators;
}

// Windows-1250 bytes as UTF-16, on the stack for short texts.
class Utf16Text {
 public:
  Utf16Text(const char* s, int len) {
    if (len <= 0 || s == nullptr) return;
    FLength = len;
    UChar* dst = FShort;
    if (len > kShort) {
      FLong = std::make_unique<UChar[]>(static_cast<size_t>(len));
      dst = FLong.get();
    }
    for (int i = 0; i < len; ++i)
      dst[i] = static_cast<UChar>(Cp1250ToUnicode(static_cast<unsigned char>(s[i])));
    FData = dst;
  }
  Utf16Text(const Utf16Text&) = delete;  // FData may point into FShort
  Utf16Text& operator=(const Utf16Text&) = delete;
  const UChar* Data() const { return FData; }
  int32_t Length() const { return FLength; }

 private:
  static constexpr int kShort = 256;
  UChar FShort[kShort];
  std::unique_ptr<UChar[]> FLong;
  const UChar* FData = FShort;
  int32_t FLength = 0;
};

// A negative length means a NUL-terminated text, as with the Windows comparison functions.
int EffectiveLength(const char* s, int len) {
  if (s == nullptr) return 0;
  if (len < 0) return static_cast<int>(std::strlen(s));
  return len;
}

}  // namespace

int CollateAnsi(const char* s1, int len1, const char* s2, int len2, bool caseInsensitive) {
  const UCollator* collator = Collators().Get(caseInsensitive);
  Utf16Text a(s1, EffectiveLength(s1, len1));
  Utf16Text b(s2, EffectiveLength(s2, len2));
  UCollationResult r = ucol_strcoll(collator, a.Data(), a.Length(), b.Data(), b.Length());
  return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

int CollateAscii(const char* s1, int len1, const char* s2, int len2, bool caseInsensitive) {
  len1 = EffectiveLength(s1, len1);
  len2 = EffectiveLength(s2, len2);
  int n = len1 < len2 ? len1 : len2;
  for (int i = 0; i < n; ++i) {
    int c1 = static_cast<unsigned char>(s1[i]);
    int c2 = static_cast<unsigned char>(s2[i]);
    if (caseInsensitive) {
      // Folded to upper case, as the class library's CompareText does ("_" sorts after
      // letters then).
      if (c1 >= 'a' && c1 <= 'z') c1 -= 'a' - 'A';
      if (c2 >= 'a' && c2 <= 'z') c2 -= 'a' - 'A';
    }
    if (c1 != c2) return c1 < c2 ? -1 : 1;
  }
  return len1 < len2 ? -1 : (len1 > len2 ? 1 : 0);
}

}  // namespace platform
