#include "platform/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/Exception.h"

namespace {

// Floating-point texts never show more than this many decimals or significant digits.
constexpr int MaxFloatDigits = 18;
// The digits a double is read with before any rounding, so that 1.15 is seen as 1.15.
constexpr int SignificantDigits = 15;
constexpr int DefaultFixedDecimals = 2;
constexpr int MinExponentDigits = 3;

[[noreturn]] void Invalid(std::string_view fmt) {
  throw Exception("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

// A non-negative decimal magnitude: 0.Digits x 10^Point. Digits has no trailing zeros and
// is empty exactly when the value is zero.
struct Decimal {
  bool Negative = false;
  std::string Digits;
  int Point = 0;
};

void StripTrailingZeros(Decimal& d) {
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
  if (d.Digits.empty()) d.Point = 0;
}

Decimal ToDecimal(double value) {
  Decimal d;
  d.Negative = std::signbit(value);
  if (value == 0) return d;
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific,
                           SignificantDigits - 1);
  std::string_view text(buf, res.ptr - buf);  // "d.ddddddddddddddde+XX"
  size_t e = text.find('e');
  for (size_t i = 0; i < e; ++i)
    if (text[i] != '.') d.Digits += text[i];
  size_t expStart = e + 1;
  if (text[expStart] == '+') ++expStart;
  int exponent = 0;
  std::from_chars(text.data() + expStart, text.data() + text.size(), exponent);
  d.Point = exponent + 1;
  StripTrailingZeros(d);
  return d;
}

// Keeps the first `keep` digits, rounding the rest half away from zero.
void RoundAt(Decimal& d, int keep) {
  if (d.Digits.empty() || keep >= static_cast<int>(d.Digits.size())) return;
  if (keep < 0) {
    d.Digits.clear();
    d.Point = 0;
    return;
  }
  bool roundUp = d.Digits[keep] >= '5';
  d.Digits.resize(keep);
  if (roundUp) {
    int i = keep - 1;
    while (i >= 0 && d.Digits[i] == '9') d.Digits[i--] = '0';
    if (i >= 0) {
      ++d.Digits[i];
    } else {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Point;
    }
  }
  StripTrailingZeros(d);
}

char DigitAt(const Decimal& d, int index) {
  return index >= 0 && index < static_cast<int>(d.Digits.size()) ? d.Digits[index] : '0';
}

std::string SignOf(const Decimal& d) {
  return d.Negative && !d.Digits.empty() ? "-" : "";
}

std::string FixedText(double value, int decimals, bool thousands) {
  Decimal d = ToDecimal(value);
  RoundAt(d, d.Point + decimals);
  std::string integer;
  if (d.Point <= 0) {
    integer = "0";
  } else {
    for (int i = 0; i < d.Point; ++i) integer += DigitAt(d, i);
  }
  if (thousands) {
    for (int i = static_cast<int>(integer.size()) - 3; i > 0; i -= 3) integer.insert(i, ",");
  }
  std::string result = SignOf(d) + integer;
  if (decimals > 0) {
    result += '.';
    for (int k = 0; k < decimals; ++k) result += DigitAt(d, d.Point + k);
  }
  return result;
}

std::string ExponentPart(int exponent) {
  std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
  if (digits.size() < MinExponentDigits) digits.insert(0, MinExponentDigits - digits.size(), '0');
  return std::string("E") + (exponent < 0 ? '-' : '+') + digits;
}

// d.ddd...E+ddd with `precision` significant digits.
std::string ScientificText(double value, int precision) {
  Decimal d = ToDecimal(value);
  RoundAt(d, precision);
  std::string result = SignOf(d);
  result += DigitAt(d, 0);
  if (precision > 1) {
    result += '.';
    for (int i = 1; i < precision; ++i) result += DigitAt(d, i);
  }
  return result + ExponentPart(d.Digits.empty() ? 0 : d.Point - 1);
}

// The shortest of fixed and scientific form, trailing zeros dropped.
std::string GeneralText(double value, int precision) {
  Decimal d = ToDecimal(value);
  RoundAt(d, precision);
  if (d.Digits.empty()) return "0";
  int size = static_cast<int>(d.Digits.size());
  int exponent = d.Point - 1;
  std::string result = SignOf(d);
  if (d.Point <= precision && exponent >= -5) {
    if (d.Point <= 0) {
      result += "0." + std::string(-d.Point, '0') + d.Digits;
    } else {
      for (int i = 0; i < d.Point; ++i) result += DigitAt(d, i);
      if (size > d.Point) result += "." + d.Digits.substr(d.Point);
    }
    return result;
  }
  result += d.Digits[0];
  if (size > 1) result += "." + d.Digits.substr(1);
  return result + ExponentPart(exponent);
}

// NaN and infinities are written alike by every floating-point type.
bool SpecialFloatText(double value, std::string& text) {
  if (std::isnan(value)) {
    text = "NAN";
  } else if (std::isinf(value)) {
    text = value < 0 ? "-INF" : "INF";
  } else {
    return false;
  }
  return true;
}

template <typename T>
std::string NumberText(T value, int base) {
  char buf[72];
  auto res = std::to_chars(buf, buf + sizeof buf, value, base);
  std::string text(buf, res.ptr);
  for (char& c : text)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// Negative values fitting 32 bits show their 32-bit two's complement, as an Integer
// argument does in the class library; wider ones their 64-bit form.
uint64_t UnsignedView(const FormatArg& arg) {
  if (arg.GetKind() == FormatArg::Kind::Int) {
    int64_t v = arg.AsInt();
    if (v < 0 && v >= std::numeric_limits<int32_t>::min())
      return static_cast<uint32_t>(static_cast<int32_t>(v));
  }
  return arg.AsUInt();
}

bool IsInteger(const FormatArg& arg) {
  return arg.GetKind() == FormatArg::Kind::Int || arg.GetKind() == FormatArg::Kind::UInt;
}

std::string ZeroPadded(std::string digits, int precision) {
  bool negative = !digits.empty() && digits[0] == '-';
  size_t count = digits.size() - (negative ? 1 : 0);
  if (precision > 0 && count < static_cast<size_t>(precision))
    digits.insert(negative ? 1 : 0, static_cast<size_t>(precision) - count, '0');
  return digits;
}

class Formatter {
 public:
  Formatter(std::string_view fmt, std::initializer_list<FormatArg> args)
      : FFmt(fmt), FArgs(args), FNext(args.begin()) {}

  std::string Run() {
    std::string out;
    size_t i = 0;
    while (i < FFmt.size()) {
      size_t percent = FFmt.find('%', i);
      if (percent == std::string_view::npos) {
        out.append(FFmt.substr(i));
        break;
      }
      out.append(FFmt.substr(i, percent - i));
      i = percent + 1;
      if (i < FFmt.size() && FFmt[i] == '%') {
        out += '%';
        ++i;
        continue;
      }
      out += Placeholder(i);
    }
    return out;
  }

 private:
  const FormatArg& NextArg() {
    if (FNext == FArgs.end()) Invalid(FFmt);
    return *FNext++;
  }

  // A decimal number or "*" (taken from the arguments); -1 when neither is there.
  int Count(size_t& i) {
    if (i < FFmt.size() && FFmt[i] == '*') {
      ++i;
      const FormatArg& arg = NextArg();
      if (!IsInteger(arg)) Invalid(FFmt);
      int64_t v = arg.AsInt();
      return v < 0 ? 0 : static_cast<int>(std::min<int64_t>(v, std::numeric_limits<int>::max()));
    }
    if (i >= FFmt.size() || FFmt[i] < '0' || FFmt[i] > '9') return -1;
    int64_t v = 0;
    while (i < FFmt.size() && FFmt[i] >= '0' && FFmt[i] <= '9') {
      v = v * 10 + (FFmt[i++] - '0');
      if (v > std::numeric_limits<int>::max()) Invalid(FFmt);
    }
    return static_cast<int>(v);
  }

  std::string Placeholder(size_t& i) {
    bool left = false;
    if (i < FFmt.size() && FFmt[i] == '-') {
      left = true;
      ++i;
    }
    int width = Count(i);
    int precision = -1;
    if (i < FFmt.size() && FFmt[i] == '.') {
      ++i;
      precision = Count(i);
      if (precision < 0) precision = 0;
    }
    if (i >= FFmt.size()) Invalid(FFmt);
    char type = FFmt[i++];
    if (type >= 'A' && type <= 'Z') type = static_cast<char>(type - 'A' + 'a');
    std::string text = Convert(type, precision, NextArg());
    if (width > 0 && text.size() < static_cast<size_t>(width)) {
      std::string pad(static_cast<size_t>(width) - text.size(), ' ');
      text = left ? text + pad : pad + text;
    }
    return text;
  }

  std::string Convert(char type, int precision, const FormatArg& arg) {
    switch (type) {
      case 'd':
        if (!IsInteger(arg)) break;
        return ZeroPadded(arg.GetKind() == FormatArg::Kind::UInt ? NumberText(arg.AsUInt(), 10)
                                                                 : NumberText(arg.AsInt(), 10),
                          precision);
      case 'u':
        if (!IsInteger(arg)) break;
        return ZeroPadded(NumberText(UnsignedView(arg), 10), precision);
      case 'x':
        if (!IsInteger(arg)) break;
        return ZeroPadded(NumberText(UnsignedView(arg), 16), precision);
      case 's': {
        if (arg.GetKind() != FormatArg::Kind::Str) break;
        std::string_view s = arg.AsStr();
        if (precision >= 0 && s.size() > static_cast<size_t>(precision)) s = s.substr(0, precision);
        return std::string(s);
      }
      case 'f':
      case 'n':
      case 'e':
      case 'g': {
        if (arg.GetKind() != FormatArg::Kind::Float) break;
        std::string special;
        if (SpecialFloatText(arg.AsFloat(), special)) return special;
        if (type == 'e')
          return ScientificText(arg.AsFloat(), ClampDigits(precision, SignificantDigits, 1));
        if (type == 'g')
          return GeneralText(arg.AsFloat(), ClampDigits(precision, SignificantDigits, 1));
        return FixedText(arg.AsFloat(), ClampDigits(precision, DefaultFixedDecimals, 0),
                         type == 'n');
      }
      default:
        break;
    }
    Invalid(FFmt);
  }

  static int ClampDigits(int precision, int fallback, int minimum) {
    if (precision < 0) return fallback;
    if (precision < minimum) return minimum;
    return precision > MaxFloatDigits ? MaxFloatDigits : precision;
  }

  std::string_view FFmt;
  std::initializer_list<FormatArg> FArgs;
  const FormatArg* FNext;
};

}  // namespace

std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args) {
  return Formatter(fmt, args).Run();
}

std::string FloatToFixed(double value, int decimals) {
  std::string special;
  if (SpecialFloatText(value, special)) return special;
  if (decimals < 0) decimals = 0;
  if (decimals > MaxFloatDigits) decimals = MaxFloatDigits;
  return FixedText(value, decimals, false);
}
