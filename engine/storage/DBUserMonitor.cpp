#include "engine/storage/DBUserMonitor.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "engine/storage/LockFileLayout.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"
#include "platform/SystemInfo.h"

using namespace lockfile;

namespace {

// The monitor and parent locks: one attempt and up to 20 retries, 100 ms apart.
constexpr int MonitorLockRetries = 20;
constexpr uint32_t MonitorLockPauseMs = 100;
// Open starts over when the lock file was deleted under it; that needs a last connection
// leaving at the same moment each time, so a few rounds are plenty.
constexpr int MaxOpenRounds = 20;

template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F action) : FAction(std::move(action)) {}
  ~ScopeExit() {
    if (FActive) FAction();
  }
  void Dismiss() { FActive = false; }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F FAction;
  bool FActive = true;
};

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Slot texts compare without regard to case, up to the slot's first zero byte.
bool SameText(const uint8_t* slotText, const std::string& text) {
  size_t i = 0;
  for (; slotText[i] != 0; ++i) {
    if (i >= text.size() || LowerAscii(static_cast<char>(slotText[i])) != LowerAscii(text[i]))
      return false;
  }
  return i == text.size();
}

}  // namespace

TDBUserMonitor::TDBUserMonitor(platform::File* databaseHandle, std::string lockFileName)
    : FLockFileName(std::move(lockFileName)),
      FDatabaseHandle(databaseHandle),
      FLockFailMessage(LockFileFailMessage) {}

TDBUserMonitor::~TDBUserMonitor() {
  try {
    Close();
  } catch (...) {
  }
}

void TDBUserMonitor::Open(const std::string& userName, const std::string& computerName) {
  if (IsOpen()) Close();
  FUserString = computerName + "\r\n" + userName + "\r\n";
  if (FUserString.size() >= SlotSize) FUserString.resize(SlotSize - 1);

  for (int round = 0; round < MaxOpenRounds; ++round) {
    CreateLockFileIfMissing();
    try {
      if (OpenOnce()) return;
    } catch (...) {
      FLockFile.Close();
      FSlotLockOffset = 0;
      throw;
    }
  }
  RaiseDatabaseError(10249, "TDBUserMonitor.Open", FLockFailMessage);
}

void TDBUserMonitor::CreateLockFileIfMissing() {
  if (platform::FileExists(FLockFileName)) return;
  InternalSetParentLock();
  ScopeExit release([this] { InternalReleaseParentLock(); });
  if (platform::FileExists(FLockFileName)) return;
  platform::File file;
  VOR_ASSERT(file.Create(FLockFileName, platform::Share::DenyNone),
             "Lock File could not be created", LockUnit);
  std::array<uint8_t, SlotSize> zeros{};
  VOR_ASSERT(file.WriteExact(0, zeros.data(), zeros.size()),
             "Unable to complete lock file creation", LockUnit);
}

bool TDBUserMonitor::OpenOnce() {
  FSlotLockOffset = 0;
  if (!FLockFile.Open(FLockFileName, platform::Access::ReadWrite, platform::Share::DenyNone)) {
    // The last connection elsewhere deleted it since we looked: create it anew.
    if (FLockFile.LastError() == ENOENT) return false;
    AssertFailed("The lock file could not be opened", LockUnit, __LINE__);
  }
  if (FLockFile.Size() > MaxLockFileSize)
    RaiseDatabaseError(9486, "TDBUserMonitor.Open", "The lock file has grown too large");

  if (FBeforeMonitorLock) FBeforeMonitorLock();
  InternalSetLock();
  ScopeExit release([this] { FLockFile.UnlockRange(MonitorLockOffset, 1); });
  // A last connection deletes the file while holding the monitor lock; having got the lock,
  // a file that is no longer on disk is one no later opener will ever see.
  if (!IsCurrentLockFile()) {
    release.Dismiss();
    FLockFile.Close();
    return false;
  }
  uint64_t slot = ScanSlots().User;
  if (slot == 0) slot = ClaimSlot();
  LockSlotByte(slot);
  return true;
}

void TDBUserMonitor::Close() {
  if (!IsOpen()) return;
  ScopeExit closeFile([this] {
    FLockFile.Close();  // also drops the monitor lock when a step below failed
    FSlotLockOffset = 0;
  });
  if (FSlotLockOffset > 0) {
    FLockFile.UnlockRange(FSlotLockOffset, 1);
    FSlotLockOffset = 0;
  }
  InternalSetLock();
  // Our file was deleted (and maybe replaced) under us: the name belongs to other
  // connections now, and counting the users of a dead file would tell nothing about them.
  if (!IsCurrentLockFile()) return;

  // Frees this user's slot too when no other connection of the user holds a byte of it.
  if (CountUsers() > 0) {
    InternalReleaseLock();
    return;
  }
  // Deleting while the monitor lock is held: an opener that got the file just before waits
  // for the lock and then sees that the file is gone.
  InternalSetParentLock();
  platform::DeleteFile(FLockFileName);
  FLockFile.Close();
  InternalReleaseParentLock();
}

bool TDBUserMonitor::IsCurrentLockFile() {
  platform::FileId onDisk;
  return platform::FileIdentity(FLockFileName, onDisk) && onDisk == FLockFile.Identity();
}

TDBUserMonitor::TSlotScan TDBUserMonitor::ScanSlots() {
  VOR_ASSERT(IsOpen(), "File handle is not set", LockUnit);
  TSlotScan scan;
  int64_t size = FLockFile.Size();
  scan.End = size > 0 ? static_cast<uint64_t>(size) : 0;
  for (uint64_t slot = FirstSlotOffset; slot + SlotSize <= scan.End; slot += SlotSize) {
    if (!FLockFile.ReadExact(slot, FSlotBuffer.data(), SlotSize)) break;
    FSlotBuffer[SlotSize] = 0;
    if (SameText(FSlotBuffer.data(), FUserString)) {
      scan.User = slot;
      break;
    }
    if (scan.FirstFree == 0 && FSlotBuffer[0] == 0) scan.FirstFree = slot;
  }
  return scan;
}

uint64_t TDBUserMonitor::ClaimSlot() {
  TSlotScan scan = ScanSlots();
  uint64_t slot = scan.FirstFree;
  if (slot == 0) {
    // Appended on a slot boundary, and never where its lock bytes would reach the tables'.
    slot = std::max(FirstSlotOffset, (scan.End + SlotSize - 1) / SlotSize * SlotSize);
    if (slot + SlotSize > SlotAreaEnd)
      RaiseDatabaseError(9486, "TDBUserMonitor.Open", "The lock file has grown too large");
  }
  FSlotBuffer.fill(0);
  std::copy(FUserString.begin(), FUserString.end(), FSlotBuffer.begin());
  VOR_ASSERT(FLockFile.WriteExact(slot, FSlotBuffer.data(), SlotSize), "Assertion failure",
             LockUnit);
  return slot;
}

void TDBUserMonitor::LockSlotByte(uint64_t slot) {
  FSlotLockOffset = 0;
  for (uint64_t i = 0; i < SlotSize; ++i) {
    uint64_t offset = SlotLockBase + slot + i;
    if (FLockFile.LockRange(offset, 1)) {
      FSlotLockOffset = offset;
      return;
    }
  }
}

void TDBUserMonitor::ZeroSlot(uint64_t slot) {
  FSlotBuffer.fill(0);
  VOR_ASSERT(FLockFile.WriteExact(slot, FSlotBuffer.data(), SlotSize), "Assertion failure",
             LockUnit);
}

int TDBUserMonitor::CountUsers() {
  VOR_ASSERT(IsOpen(), "File handle is not set", LockUnit);
  int64_t size = FLockFile.Size();
  uint64_t end = size > 0 ? static_cast<uint64_t>(size) : 0;
  int users = 0;
  for (uint64_t slot = FirstSlotOffset; slot + SlotSize <= end; slot += SlotSize) {
    // The system drops a dead process's locks, so a slot nobody holds is free even when
    // its owner never closed.
    if (!FLockFile.LockRange(SlotLockBase + slot, SlotSize)) {
      ++users;
      continue;
    }
    ZeroSlot(slot);
    FLockFile.UnlockRange(SlotLockBase + slot, SlotSize);
  }
  return users;
}

bool TDBUserMonitor::LockWithPauses(platform::File& file, uint64_t offset) {
  if (file.LockRange(offset, 1)) return true;
  for (int retry = 0; retry < MonitorLockRetries; ++retry) {
    platform::SleepMs(MonitorLockPauseMs);
    if (file.LockRange(offset, 1)) return true;
  }
  return false;
}

void TDBUserMonitor::InternalSetLock() {
  VOR_ASSERT(IsOpen(), "File handle is not set", LockUnit);
  if (!LockWithPauses(FLockFile, MonitorLockOffset))
    RaiseDatabaseError(10249, "TDBUserMonitor.InternalSetLock", FLockFailMessage);
}

void TDBUserMonitor::InternalReleaseLock() {
  VOR_ASSERT(IsOpen(), "File handle is not set", LockUnit);
  FLockFile.UnlockRange(MonitorLockOffset, 1);
}

bool TDBUserMonitor::HasDatabaseHandle() const {
  return FDatabaseHandle != nullptr && FDatabaseHandle->IsOpen();
}

void TDBUserMonitor::InternalSetParentLock() {
  if (!HasDatabaseHandle()) return;
  if (!LockWithPauses(*FDatabaseHandle, ParentLockOffset))
    RaiseDatabaseError(10249, "TDBUserMonitor.InternalSetParentLock", FLockFailMessage);
}

void TDBUserMonitor::InternalReleaseParentLock() {
  if (HasDatabaseHandle()) FDatabaseHandle->UnlockRange(ParentLockOffset, 1);
}
