#include "engine/tables/TableDefText.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "engine/index/InternalIndexDefProperties.h"
#include "engine/index/KeyFieldProperties.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/InternalFieldProperties.h"
#include "engine/tables/RecordLayout.h"
#include "engine/tables/TableHeader.h"
#include "platform/ComponentReader.h"
#include "platform/ComponentWriter.h"

namespace {

using Def = TTableDef;
using TGetInt = int32_t (Def::*)() const;
using TSetInt = void (Def::*)(int32_t);
using TGetString = const std::string& (Def::*)() const;
using TSetString = void (Def::*)(const std::string&);
using TGetBool = bool (Def::*)() const;
using TSetBool = void (Def::*)(bool);
using TGetDate = TDateTime (Def::*)() const;
using TSetDate = void (Def::*)(TDateTime);

constexpr const char* ReadContext = "TTableDef.ReadFromText";
constexpr const char* WriteContext = "TTableDef.WriteToText";

void AddInt(TPropertyTable<Def>& t, const char* name, TGetInt get, TSetInt set) {
  t.AddInteger(
      name, [get](const Def& d) -> int64_t { return (d.*get)(); },
      [set](Def& d, int64_t v) { (d.*set)(static_cast<int32_t>(v)); },
      std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}
void AddString(TPropertyTable<Def>& t, const char* name, TGetString get, TSetString set) {
  t.AddString(
      name, [get](const Def& d) { return (d.*get)(); },
      [set](Def& d, const std::string& v) { (d.*set)(v); });
}
void AddBool(TPropertyTable<Def>& t, const char* name, TGetBool get, TSetBool set) {
  t.AddBoolean(
      name, [get](const Def& d) { return (d.*get)(); }, [set](Def& d, bool v) { (d.*set)(v); });
}
void AddDate(TPropertyTable<Def>& t, const char* name, TGetDate get, TSetDate set) {
  t.AddFloat(
      name, [get](const Def& d) { return (d.*get)(); }, [set](Def& d, double v) { (d.*set)(v); });
}

std::unique_ptr<TPropertyTable<Def>> MakeTable() {
  auto t = std::make_unique<TPropertyTable<Def>>("TTableDef");
  AddInt(*t, "TableID", &Def::TableID, &Def::SetTableID);
  t->AddInteger(
      "OwnerFlag", [](const Def& d) -> int64_t { return d.OwnerFlag(); },
      [](Def& d, int64_t v) { d.SetOwnerFlag(static_cast<uint32_t>(v)); }, 0,
      std::numeric_limits<uint32_t>::max());
  AddString(*t, "TableName", &Def::TableName, &Def::SetTableName);
  AddString(*t, "AltName", &Def::AltName, &Def::SetAltName);
  AddString(*t, "Version", &Def::Version, &Def::SetVersion);
  AddString(*t, "OS", &Def::OS, &Def::SetOS);
  AddDate(*t, "CreationDate", &Def::CreationDate, &Def::SetCreationDate);
  AddDate(*t, "LastModDate", &Def::LastModDate, &Def::SetLastModDate);
  AddString(*t, "CreatedBy", &Def::CreatedBy, &Def::SetCreatedBy);
  AddString(*t, "Password", &Def::Password, &Def::SetPassword);
  AddBool(*t, "Encrypted", &Def::Encrypted, &Def::SetEncrypted);
  AddInt(*t, "SecurityLevel", &Def::SecurityLevel, &Def::SetSecurityLevel);
  AddBool(*t, "Memory", &Def::Memory, &Def::SetMemory);
  AddInt(*t, "RecordSize", &Def::RecordSize, &Def::SetRecordSize);
  AddInt(*t, "DefaultBlobSize", &Def::DefaultBlobSize, &Def::SetDefaultBlobSize);
  AddBool(*t, "UsesBlobs", &Def::UsesBlobs, &Def::SetUsesBlobs);
  t->AddEnumeration(
      "SortOrder", {"soANSI", "soASCII"}, [](const Def& d) { return int{d.SortOrder()}; },
      [](Def& d, int v) { d.SetSortOrder(static_cast<TSortOrder>(v)); });
  AddBool(*t, "InternalTable", &Def::InternalTable, &Def::SetInternalTable);
  t->AddEnumeration(
      "EncryptionLevel", {"encNone", "encWeak", "encStrong"},
      [](const Def& d) { return int{d.EncryptionLevel()}; },
      [](Def& d, int v) { d.SetEncryptionLevel(static_cast<TEncryptionLevel>(v)); });
  t->AddCollection<TKeyFieldItem>(
      "KeyFields", KeyFieldItemProperties(), [](const Def& d) { return d.KeyFields().Count(); },
      [](const Def& d, int i) -> const TKeyFieldItem& { return d.KeyFields().Items(i); },
      [](Def& d) { d.KeyFields().Clear(); },
      [](Def& d) -> TKeyFieldItem& { return d.KeyFields().Add(); });
  t->AddCollection<TInternalFieldItem>(
      "InternalFields", InternalFieldItemProperties(),
      [](const Def& d) { return d.InternalFields().Count(); },
      [](const Def& d, int i) -> const TInternalFieldItem& { return d.InternalFields().Items(i); },
      [](Def& d) { d.InternalFields().Clear(); },
      [](Def& d) -> TInternalFieldItem& { return d.InternalFields().Add(); });
  t->AddCollection<TInternalIndexDef>(
      "InternalIndexDefs", InternalIndexDefProperties(),
      [](const Def& d) { return d.InternalIndexDefs().Count(); },
      [](const Def& d, int i) -> const TInternalIndexDef& {
        return d.InternalIndexDefs().Items(i);
      },
      [](Def& d) { d.InternalIndexDefs().Clear(); },
      [](Def& d) -> TInternalIndexDef& { return d.InternalIndexDefs().Add(); });
  return t;
}

[[noreturn]] void Damaged(const std::string& message) {
  RaiseDatabaseError(8451, ReadContext, "Table definition: " + message);
}

// What the record manager, the index map and the key fields would otherwise trip over.
void CheckUsable(const TTableDef& def) {
  const TInternalFields& fields = def.InternalFields();
  const int n = fields.Count();
  if (n > record::MaxFieldCount) Damaged(std::to_string(n) + " fields");
  std::vector<bool> seen(static_cast<size_t>(n), false);
  for (int i = 0; i < n; ++i) {
    const int32_t index = fields.Items(i).FieldIndex();
    if (index < 0 || index >= n || seen[static_cast<size_t>(index)]) {
      Damaged("field " + fields.Items(i).FieldName() + " has field index " + std::to_string(index));
    }
    seen[static_cast<size_t>(index)] = true;
  }
  const int indexes = def.InternalIndexDefs().Count();
  if (indexes > static_cast<int>(tblhdr::MaxIndexCount)) {
    Damaged(std::to_string(indexes) + " index definitions");
  }
  const TKeyFields& keys = def.KeyFields();
  for (int i = 0; i < keys.Count(); ++i) {
    const TKeyFieldItem& key = keys.Items(i);
    if (key.DataType == ftString && key.SizeMarkerOffset == 0) {
      Damaged("string key field " + key.FieldName + " has no size marker");
    }
  }
}

}  // namespace

const TPropertyTable<TTableDef>& TableDefProperties() {
  static const auto table = MakeTable();
  return *table;
}

std::string TableDefToText(const TTableDef& definition) {
  try {
    return WriteComponentText(TableDefProperties().Write(definition));
  } catch (const EWriteError& e) {
    RaiseDatabaseError(8581, WriteContext, "Table definition: " + e.Message());
  }
}

void TableDefFromText(std::string_view text, TTableDef& definition) {
  if (definition.Owned()) RaiseDatabaseError(8577, ReadContext, definition.TableName());
  const TPropertyTable<TTableDef>& properties = TableDefProperties();
  TTableDef read;
  try {
    properties.Read(ReadComponentText(text), read);
  } catch (const EReadError& e) {
    Damaged(e.Message());
  }
  CheckUsable(read);
  properties.Copy(read, definition);
}
