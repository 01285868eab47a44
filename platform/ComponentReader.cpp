#include "platform/ComponentReader.h"

#include <charconv>
#include <cmath>
#include <string>
#include <utility>

namespace {

enum class TTokenKind { End, Ident, Integer, Float, String, Symbol };

struct TToken {
  TTokenKind Kind = TTokenKind::End;
  std::string Text;  // identifier name or string bytes
  int64_t Integer = 0;
  double Float = 0;
  char Symbol = 0;
  int Line = 1;
};

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

[[noreturn]] void Fail(int line, const std::string& message) {
  throw EReadError("Line " + std::to_string(line) + ": " + message);
}

class TLexer {
 public:
  explicit TLexer(std::string_view text) : FText(text) {}

  TToken Next() {
    SkipBlanks();
    TToken token;
    token.Line = FLine;
    if (AtEnd()) return token;
    const char c = FText[FPos];
    if (IsLetter(c)) return ReadIdent(token);
    if (IsDigit(c) || c == '-') return ReadNumber(token);
    if (c == '\'' || c == '#') return ReadString(token);
    if (c == '=' || c == '<' || c == '>') {
      ++FPos;
      token.Kind = TTokenKind::Symbol;
      token.Symbol = c;
      return token;
    }
    Fail(FLine, "Invalid character #" + std::to_string(static_cast<unsigned char>(c)));
  }

 private:
  bool AtEnd() const { return FPos >= FText.size(); }
  char Peek() const { return AtEnd() ? '\0' : FText[FPos]; }

  void SkipBlanks() {
    while (!AtEnd()) {
      const char c = FText[FPos];
      if (c == '\n') {
        ++FLine;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        return;
      }
      ++FPos;
    }
  }

  TToken& ReadIdent(TToken& token) {
    const size_t start = FPos;
    while (!AtEnd() && (IsLetter(FText[FPos]) || IsDigit(FText[FPos]))) ++FPos;
    token.Kind = TTokenKind::Ident;
    token.Text = std::string(FText.substr(start, FPos - start));
    return token;
  }

  void SkipDigits() {
    while (!AtEnd() && IsDigit(FText[FPos])) ++FPos;
  }

  TToken& ReadNumber(TToken& token) {
    const size_t start = FPos;
    if (Peek() == '-') ++FPos;
    if (!IsDigit(Peek())) Fail(FLine, "Digit expected after '-'");
    SkipDigits();
    bool isFloat = false;
    if (Peek() == '.' && FPos + 1 < FText.size() && IsDigit(FText[FPos + 1])) {
      isFloat = true;
      ++FPos;
      SkipDigits();
    }
    if (Peek() == 'e' || Peek() == 'E') {
      isFloat = true;
      ++FPos;
      if (Peek() == '+' || Peek() == '-') ++FPos;
      if (!IsDigit(Peek())) Fail(FLine, "Digit expected in exponent");
      SkipDigits();
    }
    if (IsLetter(Peek()) || Peek() == '.') Fail(FLine, "Invalid number");
    const char* first = FText.data() + start;
    const char* last = FText.data() + FPos;
    // from_chars takes no leading '+' and no blanks, so it sees exactly the lexeme.
    if (isFloat) {
      token.Kind = TTokenKind::Float;
      const auto result = std::from_chars(first, last, token.Float);
      if (result.ec != std::errc() || result.ptr != last || !std::isfinite(token.Float)) {
        Fail(FLine, "Number out of range");
      }
    } else {
      token.Kind = TTokenKind::Integer;
      const auto result = std::from_chars(first, last, token.Integer);
      if (result.ec != std::errc() || result.ptr != last) Fail(FLine, "Number out of range");
    }
    return token;
  }

  // Quoted runs and #n bytes, directly adjacent or joined by "+" across blanks and lines.
  TToken& ReadString(TToken& token) {
    token.Kind = TTokenKind::String;
    for (;;) {
      if (Peek() == '\'') {
        ReadQuoted(token.Text);
      } else {
        ReadByte(token.Text);
      }
      if (Peek() == '\'' || Peek() == '#') continue;
      const size_t pos = FPos;
      const int line = FLine;
      SkipBlanks();
      if (Peek() != '+') {
        FPos = pos;
        FLine = line;
        return token;
      }
      ++FPos;
      SkipBlanks();
      if (Peek() != '\'' && Peek() != '#') Fail(FLine, "String expected after '+'");
    }
  }

  void ReadQuoted(std::string& text) {
    const int line = FLine;
    ++FPos;
    for (;;) {
      if (AtEnd()) Fail(line, "Unterminated string");
      const char c = FText[FPos];
      if (c == '\r' || c == '\n') Fail(line, "Unterminated string");
      ++FPos;
      if (c == '\'') {
        if (Peek() != '\'') return;
        ++FPos;
      }
      text += c;
    }
  }

  void ReadByte(std::string& text) {
    ++FPos;
    if (!IsDigit(Peek())) Fail(FLine, "Byte value expected after '#'");
    int value = 0;
    while (IsDigit(Peek())) {
      value = value * 10 + (FText[FPos] - '0');
      if (value > 255) Fail(FLine, "Byte value out of range");
      ++FPos;
    }
    text += static_cast<char>(value);
  }

  std::string_view FText;
  size_t FPos = 0;
  int FLine = 1;
};

class TParser {
 public:
  explicit TParser(std::string_view text) : FLexer(text) {}

  TTextObject Parse() {
    Advance();
    ExpectKeyword("object");
    TTextObject object;
    object.ClassName = ExpectIdent("Class name");
    object.Properties = ParseProperties(0);
    ExpectKeyword("end");
    if (FToken.Kind != TTokenKind::End) Fail(FToken.Line, "End of text expected");
    return object;
  }

 private:
  void Advance() { FToken = FLexer.Next(); }

  bool IsKeyword(const char* keyword) const {
    return FToken.Kind == TTokenKind::Ident && SamePropertyName(FToken.Text, keyword);
  }
  bool IsAnyKeyword() const { return IsKeyword("object") || IsKeyword("item") || IsKeyword("end"); }

  std::string Describe() const {
    switch (FToken.Kind) {
      case TTokenKind::End:
        return "end of text";
      case TTokenKind::Ident:
        return "'" + FToken.Text + "'";
      case TTokenKind::Integer:
      case TTokenKind::Float:
        return "number";
      case TTokenKind::String:
        return "string";
      case TTokenKind::Symbol:
        return std::string("'") + FToken.Symbol + "'";
    }
    return "token";
  }

  [[noreturn]] void Expected(const std::string& what) const {
    Fail(FToken.Line, what + " expected but " + Describe() + " found");
  }

  void ExpectKeyword(const char* keyword) {
    if (!IsKeyword(keyword)) Expected(std::string("'") + keyword + "'");
    Advance();
  }

  void ExpectSymbol(char symbol) {
    if (FToken.Kind != TTokenKind::Symbol || FToken.Symbol != symbol) {
      Expected(std::string("'") + symbol + "'");
    }
    Advance();
  }

  std::string ExpectIdent(const char* what) {
    if (FToken.Kind != TTokenKind::Ident || IsAnyKeyword()) Expected(what);
    std::string name = std::move(FToken.Text);
    Advance();
    return name;
  }

  std::vector<TTextProperty> ParseProperties(int depth) {
    std::vector<TTextProperty> properties;
    while (FToken.Kind == TTokenKind::Ident && !IsKeyword("end")) {
      TTextProperty property;
      property.Line = FToken.Line;
      property.Name = ExpectIdent("Property name");
      ExpectSymbol('=');
      property.Value = ParseValue(depth);
      properties.push_back(std::move(property));
    }
    return properties;
  }

  TTextValue ParseValue(int depth) {
    TTextValue value;
    switch (FToken.Kind) {
      case TTokenKind::Integer:
        value = TTextValue::OfInteger(FToken.Integer);
        break;
      case TTokenKind::Float:
        value = TTextValue::OfFloat(FToken.Float);
        break;
      case TTokenKind::String:
        value = TTextValue::OfString(std::move(FToken.Text));
        break;
      case TTokenKind::Ident:
        if (IsAnyKeyword()) Expected("Value");
        value = TTextValue::OfIdent(std::move(FToken.Text));
        break;
      case TTokenKind::Symbol:
        if (FToken.Symbol == '<') return ParseCollection(depth + 1);
        Expected("Value");
      case TTokenKind::End:
        Expected("Value");
    }
    Advance();
    return value;
  }

  TTextValue ParseCollection(int depth) {
    if (depth > MaxComponentNesting) Fail(FToken.Line, "Collections are nested too deeply");
    Advance();
    std::vector<TTextItem> items;
    while (IsKeyword("item")) {
      Advance();
      items.push_back(ParseProperties(depth));
      ExpectKeyword("end");
    }
    ExpectSymbol('>');
    return TTextValue::OfCollection(std::move(items));
  }

  TLexer FLexer;
  TToken FToken;
};

}  // namespace

TTextObject ReadComponentText(std::string_view text) {
  return TParser(text).Parse();
}
