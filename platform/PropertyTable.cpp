#include "platform/PropertyTable.h"

namespace proptable {

void Refuse(int line, const std::string& className, const std::string& property,
            const std::string& detail) {
  throw EReadError("Line " + std::to_string(line) + ": " + className + "." + property + ": " +
                   detail);
}

int FindName(const std::vector<std::string>& names, const std::string& name) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (SamePropertyName(names[i], name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace proptable
