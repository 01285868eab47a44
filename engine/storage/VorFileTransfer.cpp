// The low-level transfers of TVorFile: whole byte ranges and whole pages at absolute offsets.
#include <cstring>

#include "engine/storage/VorErrors.h"
#include "engine/storage/VorFile.h"

void TVorFile::CheckRange(uint32_t address, uint32_t count, bool write, const char* context) const {
  // A closed file cannot be positioned, and nothing lies beyond the 32-bit address space.
  if (!FFile.IsOpen() || uint64_t{address} + count > uint64_t{1} << 32) {
    RaiseDatabaseError(8450, context,
                       write ? "Unable to seek for file write operation"
                             : "Unable to seek for file read operation",
                       this);
  }
}

void TVorFile::ReadFromFile(uint8_t* buffer, uint32_t count, uint32_t address,
                            const char* context) {
  CheckRange(address, count, false, context);
  const int64_t got = FFile.ReadAt(address, buffer, count);
  if (got == count) return;
  // Inside a transaction the bytes between the file's end and AppendPosition exist only in
  // the caches: they read as zeros here and the caller lays the pending copies over them.
  const uint64_t end = uint64_t{address} + count;
  if (got >= 0 && FInTransaction && end <= static_cast<uint64_t>(FAppendPosition) &&
      FFile.Size() <= static_cast<int64_t>(address + got)) {
    std::memset(buffer + got, 0, count - got);
    return;
  }
  RaiseDatabaseError(9217, context, "Unable to complete file read operation", this);
}

void TVorFile::WriteToFile(const uint8_t* buffer, uint32_t count, uint32_t address,
                           const char* context) {
  CheckRange(address, count, true, context);
  if (FFile.WriteAt(address, buffer, count) != count) {
    RaiseDatabaseError(9218, context, "Unable to complete file write operation", this);
  }
}

void TVorFile::InternalRead(void* buffer, uint32_t count, uint32_t address) {
  ReadFromFile(static_cast<uint8_t*>(buffer), count, address, "TVorFile.InternalRead");
}

void TVorFile::InternalWrite(const void* buffer, uint32_t count, uint32_t address) {
  WriteToFile(static_cast<const uint8_t*>(buffer), count, address, "TVorFile.InternalWrite");
}

void TVorFile::InternalReadPage(void* buffer, uint32_t tableID, uint32_t address, uint32_t flags) {
  const bool crypt = IsCryptFlags(flags);
  uint8_t* target = crypt ? FCryptBuffer.data() : static_cast<uint8_t*>(buffer);
  ReadFromFile(target, FPageSize, address, "TVorFile.InternalReadPage");
  // Raw bytes written in this transaction belong to the page before it is deciphered.
  if (FInTransaction) FBlockCache.CopyPendingTo(target, address, FPageSize);
  if (crypt) {
    FCrypt.CryptBytes(false, target, FPageSize, tableID, flags, static_cast<uint8_t*>(buffer));
  }
}

void TVorFile::InternalWritePage(const void* buffer, uint32_t tableID, uint32_t address,
                                 uint32_t flags) {
  const auto* source = static_cast<const uint8_t*>(buffer);
  if (IsCryptFlags(flags)) {
    FCrypt.CryptBytes(true, source, FPageSize, tableID, flags, FCryptBuffer.data());
    source = FCryptBuffer.data();
  }
  WriteToFile(source, FPageSize, address, "TVorFile.InternalWritePage");
}
