#include "platform/Object.h"

#include <cxxabi.h>
#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace {

// Drops namespace qualifiers of the outermost name only, so that template arguments keep
// theirs ("ns::TList<ns::TItem>" -> "TList<ns::TItem>").
std::string Unqualified(const std::string& name) {
  int depth = 0;
  size_t start = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '<' || c == '(') {
      ++depth;
    } else if (c == '>' || c == ')') {
      --depth;
    } else if (depth == 0 && c == ':' && i + 1 < name.size() && name[i + 1] == ':') {
      start = i + 2;
      ++i;
    }
  }
  return name.substr(start);
}

}  // namespace

std::string TObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return Unqualified(status == 0 && demangled ? demangled.get() : mangled);
}
