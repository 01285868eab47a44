// The names under which field types are streamed, by ordinal ("ftUnknown" to "ftDataSet").
#pragma once

#include <string>
#include <vector>

#include "engine/storage/FieldTypes.h"

inline std::vector<std::string> StreamedFieldTypeNames() {
  std::vector<std::string> names;
  for (int type = ftUnknown; type <= ftDataSet; ++type) names.push_back(FieldTypeName(type));
  return names;
}
