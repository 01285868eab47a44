// What a caller asks for when it defines an index: the class library's index definition
// reduced to the parts the engine derives its stored definition from. Field lists are field
// names separated by ";".
#pragma once

#include <cstdint>
#include <string>

namespace ixopt {

constexpr uint32_t Primary = 1;
constexpr uint32_t Unique = 2;
constexpr uint32_t Descending = 4;
constexpr uint32_t CaseInsensitive = 8;

}  // namespace ixopt

struct TIndexDefSource {
  std::string Name;
  std::string Fields;
  uint32_t Options = 0;
  // Fields that sort descending / compare without case; when empty the option decides for
  // every field.
  std::string DescFields;
  std::string CaseInsFields;
};
