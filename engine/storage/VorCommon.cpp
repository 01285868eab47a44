#include "engine/storage/VorCommon.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Collation.h"
#include "platform/Exception.h"
#include "platform/SystemInfo.h"

namespace {

constexpr int HeaderBlockSize = 256;
constexpr int64_t HeaderFixedSize = 48;
constexpr int64_t HeaderBytesPerIndex = 6;
constexpr size_t LikeMaxLength = 255;

int FinishKeyCompare(int result, int Len1, int Len2, bool Partial) {
  if (result == 0 && !Partial) return Len1 < Len2 ? -1 : (Len1 > Len2 ? 1 : 0);
  return result;
}

// The part of a LIKE operand that counts: up to the first NUL, at most 255 characters.
std::string_view LikeOperand(const std::string& s) {
  std::string_view view(s.c_str());
  return view.substr(0, std::min(view.size(), LikeMaxLength));
}

}  // namespace

int CompareIntegers(int64_t A, int64_t B) {
  return (A > B) - (A < B);
}

int CompareFloats(double A, double B) {
  if (A < B) return -1;
  if (A > B) return 1;
  return 0;
}

int CompareAnsiKeys(const char* S1, const char* S2, int Len1, int Len2, bool CaseInsensitive,
                    bool Partial) {
  int n = std::max(0, std::min(Len1, Len2));
  return FinishKeyCompare(platform::CollateAnsi(S1, n, S2, n, CaseInsensitive), Len1, Len2,
                          Partial);
}

int CompareAsciiKeys(const char* S1, const char* S2, int Len1, int Len2, bool CaseInsensitive,
                     bool Partial) {
  int n = std::max(0, std::min(Len1, Len2));
  return FinishKeyCompare(platform::CollateAscii(S1, n, S2, n, CaseInsensitive), Len1, Len2,
                          Partial);
}

uint8_t CoreDataSize(uint8_t FieldType) {
  switch (FieldType) {
    case ftString:
    case ftSmallint:
    case ftWord:
    case ftWideString:
      return 2;
    case ftInteger:
    case ftAutoInc:
      return 4;
    case ftBoolean:
      return 1;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDate:
    case ftTime:
    case ftDateTime:
      return 8;
    default:
      throw Exception("Error in setting CoreDataSize - field type not found: " +
                      FieldTypeName(FieldType));
  }
}

void CheckHeaderSize(int IndexCount) {
  int64_t size = HeaderBytesPerIndex * IndexCount + HeaderFixedSize;
  if (IndexCount < 0 ||
      (size + HeaderBlockSize - 1) / HeaderBlockSize * HeaderBlockSize != HeaderBlockSize)
    throw Exception("Debug check -  header size <> 256");
}

std::string CurrentUserName() {
  return platform::CurrentUserName();
}
std::string CurrentComputerName() {
  return platform::CurrentComputerName();
}
std::string OSDescription() {
  return platform::OSDescription();
}
std::string LastErrorText() {
  return platform::LastErrorText();
}

std::string IncludeTrailingBackslash(const std::string& Path) {
  if (Path.empty() || Path.back() == platform::PathDelimiter) return Path;
  return Path + platform::PathDelimiter;
}

uint32_t ElapsedTicks() {
  return platform::TickCount();
}

// The rules, read as a recursion on (text suffix, pattern suffix): a pattern that is just
// "%" matches anything; an exhausted text matches only an exhausted pattern; "%" matches
// the rest of the pattern here or swallows one text character; "_" takes one character;
// any other character must be equal. Solved bottom-up over all suffix pairs, which gives
// the recursion's answers in quadratic time instead of exponential time.
bool LikeMatch(const std::string& Text, const std::string& Pattern) {
  std::string_view t = LikeOperand(Text);
  std::string_view p = LikeOperand(Pattern);
  const size_t n = t.size();
  const size_t m = p.size();
  // below[j]: text suffix i + 1 against pattern suffix j; here[j]: text suffix i.
  std::vector<char> below(m + 1), here(m + 1);
  for (size_t i = n + 1; i-- > 0;) {
    for (size_t j = m + 1; j-- > 0;) {
      bool match;
      if (j + 1 == m && p[j] == '%') {
        match = true;
      } else if (i == n) {
        match = j == m;
      } else if (j == m) {
        match = false;
      } else if (p[j] == '%') {
        match = here[j + 1] || below[j];
      } else {
        match = (p[j] == '_' || p[j] == t[i]) && below[j + 1];
      }
      here[j] = match;
    }
    std::swap(here, below);
  }
  return below[0];
}

void SplitFieldList(const std::string& List, TStringList& Target) {
  Target.Clear();
  if (List.empty()) return;
  size_t start = 0;
  for (;;) {
    size_t end = List.find(';', start);
    if (end == std::string::npos) {
      Target.Add(List.substr(start));
      return;
    }
    Target.Add(List.substr(start, end - start));
    start = end + 1;
  }
}

void StringToWideBuffer(const std::string& S, char16_t* Buffer, int Count) {
  if (Count <= 0 || !Buffer) return;
  size_t n = std::min(S.size(), static_cast<size_t>(Count - 1));
  for (size_t i = 0; i < n; ++i)
    Buffer[i] = platform::Cp1250ToUnicode(static_cast<unsigned char>(S[i]));
  Buffer[n] = 0;
}
