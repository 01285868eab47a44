// Key setting and page enciphering of the database file object.
#include "engine/storage/PageCrypt.h"

#include <cstring>
#include <exception>
#include <stdexcept>

#include "engine/storage/VorErrors.h"
#include "engine/storage/XorCipher.h"

namespace {

constexpr int ErrCryptKey = 8581;

std::vector<uint8_t> CopyKey(const void* key, int length) {
  if (length < 0 || (length > 0 && key == nullptr))
    throw std::invalid_argument("Invalid key length");
  const auto* bytes = static_cast<const uint8_t*>(key);
  return length == 0 ? std::vector<uint8_t>{} : std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace

void TPageCrypt::SetXORKeyBuf(const void* key, int length, bool fileIsOpen) {
  const char* context = "TVorFile.SetXORKeyBuf";
  if (fileIsOpen)
    RaiseDatabaseError(ErrCryptKey, context, "Cannot set Crypt key on an opened file");
  try {
    FXORKey = CopyKey(key, length);
  } catch (const std::exception& e) {
    RaiseDatabaseError(ErrCryptKey, context,
                       std::string("Error when setting XOR crypt key: Message was - ") + e.what());
  }
}

void TPageCrypt::SetBlowKeyBuf(const void* key, int length) {
  try {
    FBlowfishKey = CopyKey(key, length);
  } catch (const std::exception& e) {
    RaiseDatabaseError(ErrCryptKey, "TVorFile.SetBlowKeyBuf",
                       std::string("Crypt key error (blowfish): Message was - ") + e.what());
  }
  // Over 56 bytes the bit count may not fit an int; any such key is refused alike.
  const int keyBits = length > BlowfishMaxKeyBits / 8 ? BlowfishMaxKeyBits + 8 : length * 8;
  BlowfishInit(FBlowfishState, FBlowfishKey.data(), keyBits);
}

void TPageCrypt::ClearKeys() {
  FXORKey = {};
  FBlowfishKey = {};
}

void TPageCrypt::CryptBytes(bool encipher, const uint8_t* source, size_t count, uint32_t tableId,
                            uint32_t pageFlags, uint8_t* target) {
  if (pageFlags & CryptFlagXor) {
    XorCipher(source, target, FXORKey.data(), tableId, FXORKey.size(), count);
  } else if (pageFlags & CryptFlagBlowfish) {
    if (encipher) {
      BlowfishEncipherCFB(FBlowfishState, source, target, count);
    } else {
      BlowfishDecipherCFB(FBlowfishState, source, target, count);
    }
    BlowfishResetRegister(FBlowfishState);
  } else if (source != target && count > 0) {
    std::memmove(target, source, count);
  }
}
