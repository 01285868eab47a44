#include "platform/StringList.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "platform/Exception.h"

namespace {

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string_view NameOf(const std::string& line) {
  size_t eq = line.find('=');
  return eq == std::string::npos ? std::string_view() : std::string_view(line).substr(0, eq);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void RaiseFileError(const char* what, const std::string& fileName, int error) {
  throw EInOutError(std::string(what) + " \"" + fileName + "\". " +
                        std::error_code(error, std::generic_category()).message(),
                    error);
}

}  // namespace

int TStringList::Add(std::string s) {
  FItems.push_back(std::move(s));
  return Count() - 1;
}

void TStringList::Insert(int index, std::string s) {
  if (index < 0 || index > Count())
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  FItems.insert(FItems.begin() + index, std::move(s));
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count())
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  FItems.erase(FItems.begin() + index);
}

int TStringList::IndexOf(const std::string& s) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[i] == s) return i;
  return -1;
}

int TStringList::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = FItems[i];
    // A line without "=" has no name, so it never answers a look-up, not even for "".
    if (line.find('=') != std::string::npos && SameTextAscii(NameOf(line), name)) return i;
  }
  return -1;
}

std::string TStringList::Names(int index) const {
  return std::string(NameOf(FItems.at(index)));
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& line = FItems.at(index);
  size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

std::string TStringList::Values(const std::string& name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (i < 0) {
    Add(name + "=" + value);
  } else {
    FItems[i] = name + "=" + value;
  }
}

std::string TStringList::Text() const {
  std::string text;
  for (const std::string& line : FItems) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TStringList::SetText(const std::string& text) {
  FItems.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      FItems.push_back(text.substr(start));
      break;
    }
    FItems.push_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
}

void TStringList::LoadFromFile(const std::string& fileName) {
  FilePtr file(std::fopen(fileName.c_str(), "rb"));
  if (!file) RaiseFileError("Cannot open file", fileName, errno);
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file.get())) > 0) text.append(buf, n);
  if (std::ferror(file.get())) RaiseFileError("Cannot read file", fileName, errno ? errno : EIO);
  SetText(text);
}

void TStringList::SaveToFile(const std::string& fileName) const {
  FilePtr file(std::fopen(fileName.c_str(), "wb"));
  if (!file) RaiseFileError("Cannot create file", fileName, errno);
  std::string text = Text();
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size())
    RaiseFileError("Cannot write file", fileName, errno ? errno : EIO);
  // A full disk may only show when the buffered data is flushed.
  if (std::fclose(file.release()) != 0) RaiseFileError("Cannot write file", fileName, errno);
}
