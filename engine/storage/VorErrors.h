// The engine's error table, its exception and the one raise routine every engine failure
// goes through: look the code up, log a line to EngineLogger, raise EVorDatabaseError.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/Exception.h"
#include "platform/Format.h"

class TObject;

struct VorErr {
  uint16_t Code;
  const char* Text;
};

// Entry 0 is the fallback (65535, "Error code unknown"); entries 1..313 ascend by code.
constexpr int VorErrorCount = 314;
const VorErr* VorErrorTable();
// The entry for a code, or entry 0 when the table lacks it.
const VorErr& FindVorError(int code);

class EVorDatabaseError : public EDatabaseError {
 public:
  EVorDatabaseError(int code, const std::string& errorText, const std::string& customMessage);
  int ErrorCode;
  std::string ErrorText;
};

// context: "TClass.Method"; sender: the raising object or nullptr.
[[noreturn]] void RaiseDatabaseError(int code, const std::string& context,
                                     const std::string& customMessage = "",
                                     const TObject* sender = nullptr);
[[noreturn]] void RaiseDatabaseErrorFmt(int code, const std::string& context,
                                        std::string_view format, const TObject* sender,
                                        std::initializer_list<FormatArg> args);
