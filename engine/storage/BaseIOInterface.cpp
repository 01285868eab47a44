// TBaseIOInterface: the common step of Open and the operations a bare interface cannot do.
#include "engine/storage/BaseIOInterface.h"

#include "engine/storage/VorErrors.h"
#include "platform/StringList.h"

void TBaseIOInterface::Open() {
  FMapFlags = static_cast<uint16_t>(FTableID * 16u + FUsage);
}

void TBaseIOInterface::Empty(bool /*matchUsage*/) {
  RaiseDatabaseError(10065, "TBaseIOInterface.Empty", "", this);
}

uint32_t TBaseIOInterface::AllocateNewAddress(uint32_t /*size*/, const void* /*data*/) {
  RaiseDatabaseError(10065, "TBaseIOInterface.AllocateNewAddress", "", this);
}

void TBaseIOInterface::ReleaseBlock(uint32_t /*address*/, uint32_t /*size*/) {
  RaiseDatabaseError(10065, "TBaseIOInterface.ReleaseBlock", "", this);
}

void TBaseIOInterface::WriteBlock(uint32_t /*address*/, uint32_t /*size*/, const void* /*buffer*/) {
  RaiseDatabaseError(10065, "TBaseIOInterface.WriteBlock", "", this);
}

void TBaseIOInterface::WriteBlockHeader(uint32_t /*address*/, uint32_t /*size*/,
                                        const void* /*buffer*/) {
  RaiseDatabaseError(10065, "TBaseIOInterface.WriteBlockHeader", "", this);
}

void TBaseIOInterface::Trace(const std::string& line) {
  if (FDebugLog != nullptr) FDebugLog->Add(line);
}
