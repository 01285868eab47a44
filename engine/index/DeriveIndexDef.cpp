#include "engine/index/DeriveIndexDef.h"

#include <string>

#include "engine/index/KeyData.h"
#include "engine/storage/VorCommon.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/InternalFields.h"
#include "engine/tables/RecordLayout.h"
#include "engine/tables/TableHeader.h"
#include "platform/Collation.h"
#include "platform/StringList.h"

namespace {

constexpr const char* Context = "TInternalIndexDefs.DeriveIndexDef";
constexpr const char* OutOfRange = "%s has not been set or is out of range";

bool SameName(const std::string& a, const std::string& b) {
  return platform::CollateAnsi(a.data(), static_cast<int>(a.size()), b.data(),
                               static_cast<int>(b.size()), true) == 0;
}

// Whole names: a field whose name is part of another listed name is not listed itself.
bool Listed(const std::string& list, const std::string& name) {
  TStringList names;
  SplitFieldList(list, names);
  for (const std::string& item : names.Items()) {
    if (SameName(item, name)) return true;
  }
  return false;
}

void AddNamedKeyField(const TIndexDefSource& source, const TInternalFields& fields,
                      const std::string& name, int position, TKeyFields& keys) {
  const TInternalFieldItem* field = fields.FindField(name);
  if (field == nullptr) RaiseDatabaseError(10116, Context, name);
  if (!keydata::IsIndexableType(field->DataType())) {
    RaiseDatabaseError(10117, Context, FieldTypeName(field->DataType()));
  }
  if (field->DataType() == ftString && field->SizeMarkerOffset() <= 0) {
    RaiseDatabaseErrorFmt(8581, Context, OutOfRange, nullptr, {"KeyOffset"});
  }
  TKeyFieldItem& key = keys.Add();
  key.IndexName = source.Name;
  key.Hidden = false;
  key.FieldName = field->FieldName();
  key.FieldSize = field->FieldSize();
  key.DataType = field->DataType();
  key.IsVariable = field->IsVariable();
  key.PhysicalFieldNo = field->FieldIndex();
  key.RecBufOffset = field->DataOffset();
  key.NullFlagOffset = field->NullFlagOffset();
  key.SizeMarkerOffset = field->SizeMarkerOffset();
  key.KeyIndex = position;
  const bool caseInsensitive = (source.Options & ixopt::CaseInsensitive) != 0;
  key.CaseInsensitive = (caseInsensitive && source.CaseInsFields.empty()) ||
                        Listed(source.CaseInsFields, key.FieldName);
  const bool descending = (source.Options & ixopt::Descending) != 0;
  key.Descending =
      (descending && source.DescFields.empty()) || Listed(source.DescFields, key.FieldName);
}

// The record id and the live marker, which is 1 in every stored record, as its null flag.
void AddRecordIdKeyField(const TIndexDefSource& source, int position, TKeyFields& keys) {
  TKeyFieldItem& key = keys.Add();
  key.IndexName = source.Name;
  key.FieldName.clear();
  key.Hidden = true;
  key.FieldSize = 4;
  key.DataType = ftInteger;
  key.IsVariable = false;
  key.PhysicalFieldNo = -1;
  key.CaseInsensitive = false;
  key.Descending = (source.Options & ixopt::Descending) != 0;
  key.RecBufOffset = static_cast<int32_t>(record::RecordIDOffset);
  key.NullFlagOffset = static_cast<int32_t>(record::LiveMarkerOffset);
  key.KeyIndex = position;
}

}  // namespace

void DeriveIndexDef(const TIndexDefSource& source, bool hidden, const TIndexTarget& target) {
  if (target.IndexDefs.FindIndexDef(source.Name) != nullptr) {
    RaiseDatabaseError(10027, Context, source.Name);
  }
  if (target.IndexDefs.Count() >= static_cast<int>(tblhdr::MaxIndexCount)) {
    RaiseDatabaseError(9604, Context, source.Name);
  }
  const bool unique = (source.Options & ixopt::Unique) != 0;
  const bool primary = (source.Options & ixopt::Primary) != 0;

  // Built aside, so that a refused definition leaves the table definition as it was.
  TKeyFields keys;
  TStringList names;
  SplitFieldList(source.Fields, names);
  for (int p = 0; p < names.Count(); ++p) {
    AddNamedKeyField(source, target.Fields, names[p], p, keys);
  }
  if (!unique && !primary) AddRecordIdKeyField(source, names.Count(), keys);
  CheckKeyFieldCount(keys.Count(), source.Name, Context);

  TInternalIndexDef def;
  def.IndexName = source.Name;
  def.Unique = unique;
  def.Primary = primary;
  def.Maintained = true;
  def.Memory = target.Memory;
  def.Hidden = hidden;
  def.IndexSequence = target.IndexDefs.Count();
  def.KeyDataOffset = keys.Count() / 8 + 1;
  def.MaximumKeySize = KeyEntrySize(keys) + def.KeyDataOffset;
  if (def.MaximumKeySize > MaxIndexKeySize) {
    RaiseDatabaseErrorFmt(9602, Context, OutOfRange, nullptr, {source.Name});
  }
  def.IndexPageSize = DefaultIndexNodeSize;

  target.IndexDefs.Add().Assign(def);
  for (int i = 0; i < keys.Count(); ++i) target.KeyFields.Add().Assign(keys.Items(i));
}

void DeriveIndexDefs(const std::vector<TIndexDefSource>& sources, const TIndexTarget& target) {
  if (sources.empty()) {
    TIndexDefSource logical;
    logical.Name = LogicalRecNoIndexName;
    DeriveIndexDef(logical, true, target);
    return;
  }
  for (const TIndexDefSource& source : sources) DeriveIndexDef(source, false, target);
}
