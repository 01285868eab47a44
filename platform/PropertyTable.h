// The published properties of one class, in streaming order: for each its name, the kind of
// its value, how to get and set it, and an optional declared default. A table writes an
// object as a component tree (ComponentText.h) and reads one back into an object; a
// collection property refers to the table of its items, so item classes plug in with tables
// of their own.
//
// Writing omits a property whose value equals its declared default. Reading is strict about
// what it takes: the properties must come in table order, each at most once, with a value of
// their kind and range; an absent property takes its default, and one without a default is
// an error. Every refusal is an EReadError naming the line, class and property. A table only
// refers to its item tables, which must live as long as it does (function-local statics).
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ComponentText.h"

namespace proptable {

[[noreturn]] void Refuse(int line, const std::string& className, const std::string& property,
                         const std::string& detail);
// The position of the name among the names (ignoring ASCII case), or -1.
int FindName(const std::vector<std::string>& names, const std::string& name);

}  // namespace proptable

template <class T>
class TPropertyTable {
 public:
  using TGet = std::function<TTextValue(const T&)>;
  // Receives a value of the property's kind, already checked against its range and names,
  // and the line it was read from (0 when it was not read).
  using TSet = std::function<void(T&, const TTextValue&, int)>;

  struct TProperty {
    std::string Name;
    TTextValueType Type;
    TGet Get;
    TSet Set;
    std::optional<TTextValue> Default;
    // Integers: the accepted range. Enumerations: the names, by ordinal.
    int64_t Min = 0;
    int64_t Max = 0;
    std::vector<std::string> Names;
  };

  explicit TPropertyTable(std::string className) : FClassName(std::move(className)) {}
  TPropertyTable(const TPropertyTable&) = delete;
  TPropertyTable& operator=(const TPropertyTable&) = delete;

  const std::string& ClassName() const { return FClassName; }
  const std::vector<TProperty>& Properties() const { return FProperties; }

  TPropertyTable& AddInteger(std::string name, std::function<int64_t(const T&)> get,
                             std::function<void(T&, int64_t)> set, int64_t min, int64_t max,
                             std::optional<int64_t> def = std::nullopt) {
    TProperty p = Make(std::move(name), TTextValueType::Integer);
    p.Get = [get](const T& o) { return TTextValue::OfInteger(get(o)); };
    p.Set = [set](T& o, const TTextValue& v, int) { set(o, v.Integer); };
    p.Min = min;
    p.Max = max;
    if (def) p.Default = TTextValue::OfInteger(*def);
    return Add(std::move(p));
  }

  TPropertyTable& AddFloat(std::string name, std::function<double(const T&)> get,
                           std::function<void(T&, double)> set,
                           std::optional<double> def = std::nullopt) {
    TProperty p = Make(std::move(name), TTextValueType::Float);
    p.Get = [get](const T& o) { return TTextValue::OfFloat(get(o)); };
    p.Set = [set](T& o, const TTextValue& v, int) { set(o, v.Float); };
    if (def) p.Default = TTextValue::OfFloat(*def);
    return Add(std::move(p));
  }

  TPropertyTable& AddString(std::string name, std::function<std::string(const T&)> get,
                            std::function<void(T&, const std::string&)> set,
                            std::optional<std::string> def = std::nullopt) {
    TProperty p = Make(std::move(name), TTextValueType::String);
    p.Get = [get](const T& o) { return TTextValue::OfString(get(o)); };
    p.Set = [set](T& o, const TTextValue& v, int) { set(o, v.Text); };
    if (def) p.Default = TTextValue::OfString(*def);
    return Add(std::move(p));
  }

  // An enumeration whose ordinals are the positions of names.
  TPropertyTable& AddEnumeration(std::string name, std::vector<std::string> names,
                                 std::function<int(const T&)> get, std::function<void(T&, int)> set,
                                 std::optional<int> def = std::nullopt) {
    TProperty p = Make(std::move(name), TTextValueType::Ident);
    p.Names = std::move(names);
    const std::string className = FClassName;
    const std::string propertyName = p.Name;
    const std::vector<std::string> valueNames = p.Names;
    auto nameOf = [className, propertyName, valueNames](int ordinal) {
      if (ordinal < 0 || ordinal >= static_cast<int>(valueNames.size())) {
        throw EWriteError(className + "." + propertyName + ": ordinal " + std::to_string(ordinal) +
                          " has no name");
      }
      return valueNames[static_cast<size_t>(ordinal)];
    };
    p.Get = [get, nameOf](const T& o) { return TTextValue::OfIdent(nameOf(get(o))); };
    p.Set = [set, valueNames](T& o, const TTextValue& v, int) {
      set(o, proptable::FindName(valueNames, v.Text));
    };
    if (def) p.Default = TTextValue::OfIdent(nameOf(*def));
    return Add(std::move(p));
  }

  TPropertyTable& AddBoolean(std::string name, std::function<bool(const T&)> get,
                             std::function<void(T&, bool)> set,
                             std::optional<bool> def = std::nullopt) {
    std::optional<int> ordinal;
    if (def) ordinal = *def ? 1 : 0;
    return AddEnumeration(
        std::move(name), {"False", "True"}, [get](const T& o) { return get(o) ? 1 : 0; },
        [set](T& o, int v) { set(o, v != 0); }, ordinal);
  }

  // Properties kept in plain public fields of T.
  TPropertyTable& AddInt32Field(std::string name, int32_t T::*field,
                                std::optional<int64_t> def = std::nullopt) {
    return AddInteger(
        std::move(name), [field](const T& o) -> int64_t { return o.*field; },
        [field](T& o, int64_t v) { o.*field = static_cast<int32_t>(v); },
        std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), def);
  }
  TPropertyTable& AddBooleanField(std::string name, bool T::*field,
                                  std::optional<bool> def = std::nullopt) {
    return AddBoolean(
        std::move(name), [field](const T& o) { return o.*field; },
        [field](T& o, bool v) { o.*field = v; }, def);
  }
  TPropertyTable& AddStringField(std::string name, std::string T::*field,
                                 std::optional<std::string> def = std::nullopt) {
    return AddString(
        std::move(name), [field](const T& o) { return o.*field; },
        [field](T& o, const std::string& v) { o.*field = v; }, std::move(def));
  }

  // A collection of TItem objects, written and read with the item table; reading empties the
  // collection first.
  template <class TItem>
  TPropertyTable& AddCollection(std::string name, const TPropertyTable<TItem>& itemTable,
                                std::function<int(const T&)> count,
                                std::function<const TItem&(const T&, int)> item,
                                std::function<void(T&)> clear, std::function<TItem&(T&)> add) {
    TProperty p = Make(std::move(name), TTextValueType::Collection);
    const TPropertyTable<TItem>* items = &itemTable;
    p.Get = [items, count, item](const T& o) {
      std::vector<TTextItem> list;
      const int n = count(o);
      list.reserve(static_cast<size_t>(n > 0 ? n : 0));
      for (int i = 0; i < n; ++i) list.push_back(items->WriteProperties(item(o, i)));
      return TTextValue::OfCollection(std::move(list));
    };
    p.Set = [items, clear, add](T& o, const TTextValue& v, int line) {
      clear(o);
      for (const TTextItem& textItem : v.Items) items->ReadProperties(textItem, add(o), line);
    };
    return Add(std::move(p));
  }

  std::vector<TTextProperty> WriteProperties(const T& object) const {
    std::vector<TTextProperty> properties;
    for (const TProperty& p : FProperties) {
      TTextValue value = p.Get(object);
      if (p.Default && SameScalar(value, *p.Default)) continue;
      properties.push_back(TTextProperty{p.Name, std::move(value), 0});
    }
    return properties;
  }

  TTextObject Write(const T& object) const {
    return TTextObject{FClassName, WriteProperties(object)};
  }

  // ownerLine names the place of the object for properties that are missing altogether.
  void ReadProperties(const std::vector<TTextProperty>& properties, T& object,
                      int ownerLine = 0) const {
    size_t next = 0;
    for (const TTextProperty& text : properties) {
      const int found = Find(text.Name);
      if (found < 0) proptable::Refuse(text.Line, FClassName, text.Name, "unknown property");
      const auto position = static_cast<size_t>(found);
      if (position < next) {
        proptable::Refuse(text.Line, FClassName, FProperties[position].Name,
                          "repeated or out of order");
      }
      for (; next < position; ++next) TakeDefault(FProperties[next], object, text.Line);
      Apply(FProperties[position], text, object);
      next = position + 1;
    }
    const int line = properties.empty() ? ownerLine : properties.back().Line;
    for (; next < FProperties.size(); ++next) TakeDefault(FProperties[next], object, line);
  }

  // EReadError unless the text is of this class.
  void Read(const TTextObject& text, T& object) const {
    if (!SamePropertyName(text.ClassName, FClassName)) {
      throw EReadError("Line 1: object of class " + FClassName + " expected but " + text.ClassName +
                       " found");
    }
    ReadProperties(text.Properties, object, 1);
  }

  // Every property of source into target, by way of its text value.
  void Copy(const T& source, T& target) const {
    for (const TProperty& p : FProperties) p.Set(target, p.Get(source), 0);
  }

 private:
  static TProperty Make(std::string name, TTextValueType type) {
    TProperty p;
    p.Name = std::move(name);
    p.Type = type;
    return p;
  }

  TPropertyTable& Add(TProperty p) {
    FProperties.push_back(std::move(p));
    return *this;
  }

  int Find(const std::string& name) const {
    for (size_t i = 0; i < FProperties.size(); ++i) {
      if (SamePropertyName(FProperties[i].Name, name)) return static_cast<int>(i);
    }
    return -1;
  }

  void TakeDefault(const TProperty& p, T& object, int line) const {
    if (!p.Default) proptable::Refuse(line, FClassName, p.Name, "missing");
    p.Set(object, *p.Default, line);
  }

  void Apply(const TProperty& p, const TTextProperty& text, T& object) const {
    const TTextValue& v = text.Value;
    auto refuse = [&](const std::string& detail) {
      proptable::Refuse(text.Line, FClassName, p.Name, detail);
    };
    // An integral float property may have been written by hand without a fraction.
    if (p.Type == TTextValueType::Float && v.Type == TTextValueType::Integer) {
      p.Set(object, TTextValue::OfFloat(static_cast<double>(v.Integer)), text.Line);
      return;
    }
    if (v.Type != p.Type) {
      refuse(std::string(ValueTypeName(p.Type)) + " expected but " + ValueTypeName(v.Type) +
             " found");
    }
    if (p.Type == TTextValueType::Integer && (v.Integer < p.Min || v.Integer > p.Max)) {
      refuse(std::to_string(v.Integer) + " is out of range");
    }
    if (p.Type == TTextValueType::Ident && proptable::FindName(p.Names, v.Text) < 0) {
      refuse("'" + v.Text + "' is not a value of this property");
    }
    p.Set(object, v, text.Line);
  }

  std::string FClassName;
  std::vector<TProperty> FProperties;
};
