#include "engine/storage/GlobalHdr.h"

#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"

void TGlobalHdr::Initialize() {
  if (Size == 0) {
    RaiseDatabaseError(8581, "TGlobalHdr.Initialize", "Unable to initialize header - size not set");
  }
  Buffer.assign(Size, 0);
  Dirty = false;
}

void TGlobalHdr::CheckOffset(uint32_t offset, const char* context) const {
  // An item at 125..127 would run past the header's end.
  if (offset == 0 || uint64_t{offset} + 4 > Buffer.size()) {
    RaiseDatabaseError(8581, context, "DB Header. Item offset is out of range");
  }
}

void TGlobalHdr::SetHdrItem(uint32_t offset, uint32_t value) {
  CheckOffset(offset, "TGlobalHdr.SetHdrItem");
  uint8_t* item = Buffer.data() + offset;
  if (le::GetU32(item) == value) return;
  le::PutU32(item, value);
  Dirty = true;
}

uint32_t TGlobalHdr::GlobalInterfaceGetHdrItem(uint32_t offset) const {
  CheckOffset(offset, "TGlobalHdr.GlobalInterfaceGetHdrItem");
  return le::GetU32(Buffer.data() + offset);
}
