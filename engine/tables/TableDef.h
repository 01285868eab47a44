// The complete description of one table: identity and history, security and encryption
// settings, field layout, key fields and index definitions, record size, blob block size and
// sort order. The published properties are streamed in the order they are declared here
// (TableDefText.h). While the table is open the definition also refers to the shared table
// header and the table's three block I/O interfaces.
//
// Invariants:
// - Only an Owned definition (one that a definition manager holds) owns its interfaces; a
//   caller's definition merely refers to those of the owned one, and Clear or CloseInterfaces
//   just forgets them.
// - InterfacesOpen is set exactly while the three interface references are valid.
// - An Owned definition cannot be cleared (8577).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/index/InternalIndexDefs.h"
#include "engine/index/KeyFields.h"
#include "engine/index/SortOrder.h"
#include "engine/tables/EncryptionLevel.h"
#include "engine/tables/InternalFields.h"
#include "platform/DateTime.h"
#include "platform/Object.h"

class TBaseIOInterface;
class TDiskMgr;
class TTableHeader;

namespace tabledef {

constexpr int32_t DefaultBlobSize = 512;
// Index node size of a table without index definitions.
constexpr int32_t DefaultIndexPageSize = 4096;
// Memory tables keep their index nodes in blocks of this size.
constexpr int32_t MemoryIndexBlockSize = 4096;
// Block sizes taken from a stored definition are refused beyond these.
constexpr int32_t MaxIndexPageSize = 65536;
constexpr int32_t MaxBlobBlockSize = 65536;
constexpr const char* EngineVersion = "1.30.02";

// The first 32-bit word of an empty index root block; its depth is 1.
constexpr uint32_t EmptyRootMarker = 1;
constexpr uint16_t EmptyRootDepth = 1;

}  // namespace tabledef

class TTableDef : public TComponent {
 public:
  TTableDef();
  ~TTableDef() override;
  TTableDef(const TTableDef&) = delete;
  TTableDef& operator=(const TTableDef&) = delete;

  // Streamed properties, in streaming order.
  int32_t TableID() const { return FTableID; }
  uint32_t OwnerFlag() const { return FOwnerFlag; }
  const std::string& TableName() const { return FTableName; }
  const std::string& AltName() const { return FAltName; }
  const std::string& Version() const { return FVersion; }
  const std::string& OS() const { return FOS; }
  TDateTime CreationDate() const { return FCreationDate; }
  TDateTime LastModDate() const { return FLastModDate; }
  const std::string& CreatedBy() const { return FCreatedBy; }
  const std::string& Password() const { return FPassword; }
  bool Encrypted() const { return FEncrypted; }
  int32_t SecurityLevel() const { return FSecurityLevel; }
  bool Memory() const { return FMemory; }
  int32_t RecordSize() const { return FRecordSize; }
  int32_t DefaultBlobSize() const { return FDefaultBlobSize; }
  bool UsesBlobs() const { return FUsesBlobs; }
  TSortOrder SortOrder() const { return FSortOrder; }
  bool InternalTable() const { return FInternalTable; }
  TEncryptionLevel EncryptionLevel() const { return FEncryptionLevel; }
  TKeyFields& KeyFields() { return FKeyFields; }
  const TKeyFields& KeyFields() const { return FKeyFields; }
  TInternalFields& InternalFields() { return FInternalFields; }
  const TInternalFields& InternalFields() const { return FInternalFields; }
  TInternalIndexDefs& InternalIndexDefs() { return FInternalIndexDefs; }
  const TInternalIndexDefs& InternalIndexDefs() const { return FInternalIndexDefs; }

  void SetTableID(int32_t value) { FTableID = value; }
  void SetOwnerFlag(uint32_t value) { FOwnerFlag = value; }
  void SetTableName(const std::string& value) { FTableName = value; }
  void SetAltName(const std::string& value) { FAltName = value; }
  void SetVersion(const std::string& value) { FVersion = value; }
  void SetOS(const std::string& value) { FOS = value; }
  void SetCreationDate(TDateTime value) { FCreationDate = value; }
  void SetLastModDate(TDateTime value) { FLastModDate = value; }
  void SetCreatedBy(const std::string& value) { FCreatedBy = value; }
  void SetPassword(const std::string& value) { FPassword = value; }
  void SetEncrypted(bool value) { FEncrypted = value; }
  void SetSecurityLevel(int32_t value) { FSecurityLevel = value; }
  void SetMemory(bool value) { FMemory = value; }
  void SetRecordSize(int32_t value) { FRecordSize = value; }
  void SetDefaultBlobSize(int32_t value) { FDefaultBlobSize = value; }
  void SetUsesBlobs(bool value) { FUsesBlobs = value; }
  void SetSortOrder(TSortOrder value) { FSortOrder = value; }
  void SetInternalTable(bool value) { FInternalTable = value; }
  void SetEncryptionLevel(TEncryptionLevel value) { FEncryptionLevel = value; }

  // State of an open table, not streamed.
  TTableHeader* TableHeader() const { return FTableHeader; }
  void SetTableHeader(TTableHeader* header) { FTableHeader = header; }
  TBaseIOInterface* IndexInterface() const { return FIndexInterface; }
  TBaseIOInterface* BlobInterface() const { return FBlobInterface; }
  TBaseIOInterface* RecordInterface() const { return FRecordInterface; }
  bool Owned() const { return FOwned; }
  void SetOwned(bool value) { FOwned = value; }
  int OpenCount() const { return FOpenCount; }
  void SetOpenCount(int value) { FOpenCount = value; }
  bool InterfacesOpen() const { return FInterfacesOpen; }
  // The current user's rights on the table, filled by the security manager.
  uint32_t Privileges() const { return FPrivileges; }
  void SetPrivileges(uint32_t value) { FPrivileges = value; }

  // Makes and opens the three interfaces of an Owned definition (nothing otherwise, and
  // nothing when they are open already): memory interfaces with fresh index roots for an
  // in-memory table, disk interfaces of diskMgr otherwise. 8576 without a table header or,
  // for a disk table, without a disk manager; 8451 for block sizes or a table identifier that
  // a sound definition cannot have.
  void InternalOpen(TDiskMgr* diskMgr);
  // An Owned definition closes and frees its interfaces; any other forgets them.
  void CloseInterfaces();
  // Back to a new definition. 8577 for an Owned one.
  void Clear();
  // Copies everything but OwnerFlag, LastModDate, SecurityLevel and InternalTable, which
  // belong to the stored table rather than to its description.
  void Assign(const TTableDef& source);
  // Key fields that name no index definition go to the first index definition that no key
  // field names.
  void RepairKeyFieldIndexNames();
  // Lets target refer to this definition's header and interfaces.
  void ShareConnection(TTableDef& target) const;

  // The index node size: the first index definition's IndexPageSize, 4096 without indexes.
  // 8451 under context when a stored definition gives one out of range.
  int32_t IndexBlockSize(const std::string& context) const;

 private:
  void OpenMemoryInterfaces(const std::string& context);
  void OpenDiskInterfaces(TDiskMgr& diskMgr, const std::string& context);
  void ForgetConnection();

  int32_t FTableID = 0;
  uint32_t FOwnerFlag = 0;
  std::string FTableName;
  std::string FAltName;
  std::string FVersion;
  std::string FOS;
  TDateTime FCreationDate = 0;
  TDateTime FLastModDate = 0;
  std::string FCreatedBy;
  std::string FPassword;
  bool FEncrypted = false;
  int32_t FSecurityLevel = 0;
  bool FMemory = false;
  int32_t FRecordSize = 0;
  int32_t FDefaultBlobSize = tabledef::DefaultBlobSize;
  bool FUsesBlobs = false;
  TSortOrder FSortOrder = soANSI;
  bool FInternalTable = false;
  TEncryptionLevel FEncryptionLevel = encNone;
  TKeyFields FKeyFields;
  TInternalFields FInternalFields;
  TInternalIndexDefs FInternalIndexDefs;

  TTableHeader* FTableHeader = nullptr;
  TBaseIOInterface* FIndexInterface = nullptr;
  TBaseIOInterface* FBlobInterface = nullptr;
  TBaseIOInterface* FRecordInterface = nullptr;
  // Set only in an Owned definition whose interfaces are open.
  std::unique_ptr<TBaseIOInterface> FOwnIndexInterface;
  std::unique_ptr<TBaseIOInterface> FOwnBlobInterface;
  std::unique_ptr<TBaseIOInterface> FOwnRecordInterface;
  bool FOwned = false;
  int FOpenCount = 0;
  bool FInterfacesOpen = false;
  uint32_t FPrivileges = 0;
};
