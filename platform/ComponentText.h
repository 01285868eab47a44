// The textual form of a streamed component, as a tree: the object's class name and its
// properties in order, each a scalar value or a collection of items that hold properties of
// their own. ComponentWriter turns a tree into text, ComponentReader text into a tree, and a
// TPropertyTable (PropertyTable.h) binds a tree to the object it describes.
//
// Text form (one property per line, two blanks of indent per level, CR LF line ends):
//   object TClassName
//     Count = 12                        integer, decimal
//     Ratio = 0.5                       float, always with "."
//     Name = 'O''Brien'#13#10'next'     string: quoted runs ('' is a quote) and #n bytes
//     Long = 'first 64 bytes' +         a long string goes on over several lines
//       'the rest'
//     Flag = True                       identifier: booleans and enumerations
//     Items = <                         collection
//       item
//         Name = 'a'
//       end>
//     Empty = <>
//   end
// Strings are bytes (Windows-1250): printable bytes appear as they are, every other byte as
// #n, so that every byte value reads back unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Exception.h"

// A component text that cannot be read: a syntax error, or a value its object refuses.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

// A value that has no text form (a float that is not finite).
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

// Collections within collections: deeper texts are refused, by the reader and the writer.
constexpr int MaxComponentNesting = 16;

enum class TTextValueType { Integer, Float, String, Ident, Collection };

struct TTextProperty;
// The properties of one collection item, in order.
using TTextItem = std::vector<TTextProperty>;

struct TTextValue {
  TTextValueType Type = TTextValueType::Integer;
  int64_t Integer = 0;
  double Float = 0;
  // The bytes of a String, the name of an Ident.
  std::string Text;
  std::vector<TTextItem> Items;

  static TTextValue OfInteger(int64_t value);
  static TTextValue OfFloat(double value);
  static TTextValue OfString(std::string value);
  static TTextValue OfIdent(std::string name);
  static TTextValue OfCollection(std::vector<TTextItem> items);
};

struct TTextProperty {
  std::string Name;
  TTextValue Value;
  // Where the property starts in the text it was read from; 0 for a property made in code.
  int Line = 0;
};

struct TTextObject {
  std::string ClassName;
  std::vector<TTextProperty> Properties;
};

// Whether two scalar values are the same value (floats bit for bit); collections never are.
bool SameScalar(const TTextValue& a, const TTextValue& b);
// Names of properties, keywords and identifiers compare without regard to ASCII case.
bool SamePropertyName(const std::string& a, const std::string& b);
const char* ValueTypeName(TTextValueType type);
