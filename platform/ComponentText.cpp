#include "platform/ComponentText.h"

#include <cstring>
#include <utility>

TTextValue TTextValue::OfInteger(int64_t value) {
  TTextValue v;
  v.Type = TTextValueType::Integer;
  v.Integer = value;
  return v;
}

TTextValue TTextValue::OfFloat(double value) {
  TTextValue v;
  v.Type = TTextValueType::Float;
  v.Float = value;
  return v;
}

TTextValue TTextValue::OfString(std::string value) {
  TTextValue v;
  v.Type = TTextValueType::String;
  v.Text = std::move(value);
  return v;
}

TTextValue TTextValue::OfIdent(std::string name) {
  TTextValue v;
  v.Type = TTextValueType::Ident;
  v.Text = std::move(name);
  return v;
}

TTextValue TTextValue::OfCollection(std::vector<TTextItem> items) {
  TTextValue v;
  v.Type = TTextValueType::Collection;
  v.Items = std::move(items);
  return v;
}

bool SameScalar(const TTextValue& a, const TTextValue& b) {
  if (a.Type != b.Type) return false;
  switch (a.Type) {
    case TTextValueType::Integer:
      return a.Integer == b.Integer;
    case TTextValueType::Float:
      // Bit for bit: -0.0 is not 0.0 when the text must give back exactly what was written.
      return std::memcmp(&a.Float, &b.Float, sizeof a.Float) == 0;
    case TTextValueType::String:
      return a.Text == b.Text;
    case TTextValueType::Ident:
      return SamePropertyName(a.Text, b.Text);
    case TTextValueType::Collection:
      return false;
  }
  return false;
}

bool SamePropertyName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

const char* ValueTypeName(TTextValueType type) {
  switch (type) {
    case TTextValueType::Integer:
      return "integer";
    case TTextValueType::Float:
      return "float";
    case TTextValueType::String:
      return "string";
    case TTextValueType::Ident:
      return "identifier";
    case TTextValueType::Collection:
      return "collection";
  }
  return "value";
}
