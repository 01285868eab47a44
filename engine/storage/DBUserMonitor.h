// Who is connected to a database, kept in its lock file: one 4096-byte slot per user and
// computer, and one locked byte of that slot's lock range per connection (LockFileLayout.h).
// The first connection creates the lock file, the last one deletes it; the monitor owns the
// lock file handle through which the lock managers lock tables and records.
//
// Invariants:
// - While open, the handle names the lock file that is on disk: the last connection deletes
//   the file while it still holds the monitor lock, and an opener that then gets the monitor
//   lock on the deleted file notices and starts over on the current one.
// - A closing connection never deletes a lock file other than the one it had open.
// - SlotLockOffset is the one slot byte this connection holds, 0 when none.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/File.h"

class TDBUserMonitor {
 public:
  // databaseHandle: the open database file, for the parent lock; nullptr when there is none.
  TDBUserMonitor(platform::File* databaseHandle, std::string lockFileName);
  // Closes; failures are swallowed here.
  ~TDBUserMonitor();
  TDBUserMonitor(const TDBUserMonitor&) = delete;
  TDBUserMonitor& operator=(const TDBUserMonitor&) = delete;

  // Creates the lock file when missing, opens it and takes a byte of the user's slot.
  // Raises 9486 when the lock file has grown too large and 10249 when the monitor or parent
  // lock cannot be had; the monitor is closed after a failure.
  void Open(const std::string& userName, const std::string& computerName);
  // Gives up the slot byte, frees slots nobody holds and deletes the lock file when no user
  // is left. The handle is closed also when this raises.
  void Close();

  bool IsOpen() const { return FLockFile.IsOpen(); }
  // The lock file handle for the lock managers. The object lives as long as the monitor;
  // it is open between Open and Close.
  platform::File* LockFile() { return &FLockFile; }
  const std::string& UserString() const { return FUserString; }
  const std::string& LockFileName() const { return FLockFileName; }
  uint64_t SlotLockOffset() const { return FSlotLockOffset; }

  // Test hook: runs in Open after the lock file was opened and before the monitor lock is
  // taken, the moment at which a last connection elsewhere may delete the file.
  void SetBeforeMonitorLockHook(std::function<void()> hook) {
    FBeforeMonitorLock = std::move(hook);
  }

 private:
  using TSlot = std::array<uint8_t, 4096 + 1>;  // one zero byte beyond the slot ends its text
  struct TSlotScan {
    uint64_t User = 0;       // the slot holding UserString, 0 when none
    uint64_t FirstFree = 0;  // the first free slot before it, 0 when none
    uint64_t End = 0;        // the lock file's size
  };

  void CreateLockFileIfMissing();
  // True when a slot byte is held; false when the lock file went away and Open must retry.
  bool OpenOnce();
  // Whether the open handle still names the file on disk under LockFileName.
  bool IsCurrentLockFile();
  TSlotScan ScanSlots();
  // Writes UserString into the first free slot or a new one at the end; returns its offset.
  uint64_t ClaimSlot();
  void LockSlotByte(uint64_t slot);
  void ZeroSlot(uint64_t slot);
  // Zeroes every slot that no connection holds; returns how many slots are held.
  int CountUsers();

  static bool LockWithPauses(platform::File& file, uint64_t offset);
  bool HasDatabaseHandle() const;
  void InternalSetLock();
  void InternalReleaseLock();
  void InternalSetParentLock();
  void InternalReleaseParentLock();

  std::string FUserString;
  std::string FLockFileName;
  platform::File FLockFile;
  uint64_t FSlotLockOffset = 0;
  TSlot FSlotBuffer{};
  platform::File* FDatabaseHandle;
  std::string FLockFailMessage;
  std::function<void()> FBeforeMonitorLock;
};
