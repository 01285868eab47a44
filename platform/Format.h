// The class library's format function: printf-like, but locale-independent and with its
// own rounding. Supported: %% and %[-][width][.prec]type with type d u x X s f e g n;
// "%f" means two decimals and "." is always the decimal separator; "%.Nf" rounds halves
// away from zero on the decimal value (1.25 -> "1.3"). A placeholder of the wrong kind or a
// missing argument raises Exception("Format '<fmt>' invalid or incompatible with argument").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class FormatArg {
 public:
  enum class Kind { Int, UInt, Float, Str };
  FormatArg(int v) : FKind(Kind::Int), FInt(v) {}
  FormatArg(long v) : FKind(Kind::Int), FInt(v) {}
  FormatArg(long long v) : FKind(Kind::Int), FInt(v) {}
  FormatArg(unsigned v) : FKind(Kind::UInt), FUInt(v) {}
  FormatArg(unsigned long v) : FKind(Kind::UInt), FUInt(v) {}
  FormatArg(unsigned long long v) : FKind(Kind::UInt), FUInt(v) {}
  FormatArg(double v) : FKind(Kind::Float), FFloat(v) {}
  FormatArg(const char* v) : FKind(Kind::Str), FStr(v) {}
  FormatArg(const std::string& v) : FKind(Kind::Str), FStr(v) {}
  FormatArg(std::string_view v) : FKind(Kind::Str), FStr(v) {}

  Kind GetKind() const { return FKind; }
  int64_t AsInt() const { return FKind == Kind::UInt ? static_cast<int64_t>(FUInt) : FInt; }
  uint64_t AsUInt() const { return FKind == Kind::Int ? static_cast<uint64_t>(FInt) : FUInt; }
  double AsFloat() const { return FFloat; }
  std::string_view AsStr() const { return FStr; }

 private:
  Kind FKind;
  int64_t FInt = 0;
  uint64_t FUInt = 0;
  double FFloat = 0;
  std::string_view FStr;
};

std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args);

// Fixed-point text of a value with `decimals` digits after ".", halves away from zero on
// the decimal value (the rule Format's %.Nf uses).
std::string FloatToFixed(double value, int decimals);
