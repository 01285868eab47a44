// The class library's string list: ordered texts, optionally "name=value" pairs.
// Name look-ups ignore ASCII letter case; the name is everything before the first "=".
// Files are 8-bit text; lines are written with CR LF and read on CR LF, LF or CR.
#pragma once

#include <string>
#include <vector>

class TStringList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& operator[](int i) const { return FItems.at(i); }
  std::string& operator[](int i) { return FItems.at(i); }
  int Add(std::string s);
  void Insert(int index, std::string s);
  void Delete(int index);
  void Clear() { FItems.clear(); }
  int IndexOf(const std::string& s) const;  // exact match, -1 when absent

  int IndexOfName(const std::string& name) const;  // -1 when absent
  std::string Names(int index) const;              // "" for a line without "="
  std::string ValueFromIndex(int index) const;
  std::string Values(const std::string& name) const;                 // "" when absent
  void SetValue(const std::string& name, const std::string& value);  // adds when absent

  std::string Text() const;  // every line followed by CR LF
  void SetText(const std::string& text);
  // Raise EInOutError when the file cannot be read or written.
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

  const std::vector<std::string>& Items() const { return FItems; }

 private:
  std::vector<std::string> FItems;
};
