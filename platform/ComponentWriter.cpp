#include "platform/ComponentWriter.h"

#include <charconv>
#include <cmath>

namespace {

constexpr const char* LineEnd = "\r\n";
// String bytes per line before a long string is continued on the next one.
constexpr size_t StringBytesPerLine = 64;

// Bytes a person can read as they are in Windows-1250 text. Control bytes, DEL, the five
// bytes the code page leaves undefined, the no-break space and the soft hyphen go as #n.
bool IsPlainByte(unsigned char c) {
  if (c >= 0x20 && c <= 0x7E) return true;
  if (c < 0x80) return false;
  switch (c) {
    case 0x81:
    case 0x83:
    case 0x88:
    case 0x90:
    case 0x98:
    case 0xA0:
    case 0xAD:
      return false;
    default:
      return true;
  }
}

bool IsIdentifier(const std::string& name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

void CheckIdentifier(const std::string& name, const char* what) {
  if (!IsIdentifier(name)) {
    throw EWriteError(std::string(what) + " '" + name + "' is not an identifier");
  }
}

class TComponentWriter {
 public:
  std::string Write(const TTextObject& object) {
    CheckIdentifier(object.ClassName, "Class name");
    FOut = "object " + object.ClassName + LineEnd;
    WriteProperties(object.Properties, 1, 0);
    FOut += "end";
    FOut += LineEnd;
    return std::move(FOut);
  }

 private:
  static std::string Indent(int level) { return std::string(static_cast<size_t>(level) * 2, ' '); }

  void WriteProperties(const std::vector<TTextProperty>& properties, int level, int depth) {
    for (const TTextProperty& property : properties) {
      CheckIdentifier(property.Name, "Property name");
      FOut += Indent(level) + property.Name + " = ";
      WriteValue(property.Value, level, depth);
      FOut += LineEnd;
    }
  }

  void WriteValue(const TTextValue& value, int level, int depth) {
    switch (value.Type) {
      case TTextValueType::Integer:
        FOut += std::to_string(value.Integer);
        return;
      case TTextValueType::Float:
        FOut += ComponentFloatText(value.Float);
        return;
      case TTextValueType::String:
        FOut += ComponentStringText(value.Text, Indent(level + 1));
        return;
      case TTextValueType::Ident:
        CheckIdentifier(value.Text, "Identifier");
        FOut += value.Text;
        return;
      case TTextValueType::Collection:
        WriteCollection(value.Items, level, depth + 1);
        return;
    }
  }

  void WriteCollection(const std::vector<TTextItem>& items, int level, int depth) {
    if (depth > MaxComponentNesting) throw EWriteError("Collections are nested too deeply");
    FOut += "<";
    for (const TTextItem& item : items) {
      FOut += LineEnd + Indent(level + 1) + "item" + LineEnd;
      WriteProperties(item, level + 2, depth);
      FOut += Indent(level + 1) + "end";
    }
    FOut += ">";
  }

  std::string FOut;
};

}  // namespace

std::string ComponentStringText(const std::string& value, const std::string& continuationIndent) {
  if (value.empty()) return "''";
  std::string out;
  bool quoted = false;
  size_t onLine = 0;
  for (const char ch : value) {
    if (onLine == StringBytesPerLine) {
      if (quoted) out += '\'';
      quoted = false;
      out += " +";
      out += LineEnd;
      out += continuationIndent;
      onLine = 0;
    }
    const auto c = static_cast<unsigned char>(ch);
    if (IsPlainByte(c)) {
      if (!quoted) out += '\'';
      quoted = true;
      out += ch;
      if (ch == '\'') out += '\'';
    } else {
      if (quoted) out += '\'';
      quoted = false;
      out += '#';
      out += std::to_string(c);
    }
    ++onLine;
  }
  if (quoted) out += '\'';
  return out;
}

std::string ComponentFloatText(double value) {
  if (!std::isfinite(value)) throw EWriteError("A float that is not finite has no text form");
  // Fixed notation of the largest double has 309 digits; of the smallest, 327 places.
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (result.ec != std::errc()) throw EWriteError("Float could not be converted");
  std::string text(buffer, result.ptr);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string WriteComponentText(const TTextObject& object) {
  return TComponentWriter().Write(object);
}
