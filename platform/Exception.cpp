#include "platform/Exception.h"

#include <string>

void AssertFailed(const char* text, const char* unit, int line) {
  throw EAssertionFailed(std::string(text ? text : "") + " (" + (unit ? unit : "") + ", line " +
                         std::to_string(line) + ")");
}
