// One field of a table's record layout: its name, type, size and the offsets of its null flag,
// size marker and data area in a stored record (RecordLayout.h). The streamed properties are
// declared in their streaming order; OldFieldName and Privileges are kept but not streamed.
//
// Invariant: DataType is always a type a table may hold (or ftUnknown before it is set).
#pragma once

#include <cstdint>
#include <string>

#include "engine/storage/FieldTypes.h"

class TInternalFieldItem {
 public:
  virtual ~TInternalFieldItem() = default;
  TInternalFieldItem() = default;
  TInternalFieldItem(const TInternalFieldItem&) = delete;
  TInternalFieldItem& operator=(const TInternalFieldItem&) = delete;

  // Copies every property, OldFieldName and Privileges; derived items copy their own too when
  // the source is of their kind.
  virtual void Assign(const TInternalFieldItem& source);

  const std::string& FieldName() const { return FFieldName; }
  int32_t FieldNo() const { return FFieldNo; }
  int32_t FieldIndex() const { return FFieldIndex; }
  TFieldType DataType() const { return FDataType; }
  int32_t FieldSize() const { return FFieldSize; }
  int32_t NumDecimalPlaces() const { return FNumDecimalPlaces; }
  bool Required() const { return FRequired; }
  int32_t SizeMarkerOffset() const { return FSizeMarkerOffset; }
  int32_t DataOffset() const { return FDataOffset; }
  int32_t NullFlagOffset() const { return FNullFlagOffset; }
  bool IsVariable() const { return FIsVariable; }
  int32_t FieldGeneratorID() const { return FFieldGeneratorID; }
  const std::string& OldFieldName() const { return FOldFieldName; }
  uint32_t Privileges() const { return FPrivileges; }

  void SetFieldName(const std::string& value) { FFieldName = value; }
  void SetFieldNo(int32_t value) { FFieldNo = value; }
  void SetFieldIndex(int32_t value) { FFieldIndex = value; }
  // Raises 10000 with the type's name for a type a table cannot hold; otherwise FieldSize
  // becomes the type's fixed size (0 for strings, whose size is set afterwards).
  void SetDataType(int value);
  void SetFieldSize(int32_t value) { FFieldSize = value; }
  void SetNumDecimalPlaces(int32_t value) { FNumDecimalPlaces = value; }
  void SetRequired(bool value) { FRequired = value; }
  void SetSizeMarkerOffset(int32_t value) { FSizeMarkerOffset = value; }
  void SetDataOffset(int32_t value) { FDataOffset = value; }
  void SetNullFlagOffset(int32_t value) { FNullFlagOffset = value; }
  void SetIsVariable(bool value) { FIsVariable = value; }
  void SetFieldGeneratorID(int32_t value) { FFieldGeneratorID = value; }
  void SetOldFieldName(const std::string& value) { FOldFieldName = value; }
  void SetPrivileges(uint32_t value) { FPrivileges = value; }

  // The longest value that may be stored: a string keeps one byte of its area free.
  int32_t DisplaySize() const;
  bool IsBlob() const;

 private:
  std::string FFieldName;
  int32_t FFieldNo = 0;
  int32_t FFieldIndex = 0;
  TFieldType FDataType = ftUnknown;
  int32_t FFieldSize = 0;
  int32_t FNumDecimalPlaces = 0;
  bool FRequired = false;
  int32_t FSizeMarkerOffset = 0;
  int32_t FDataOffset = 0;
  int32_t FNullFlagOffset = 0;
  bool FIsVariable = false;
  int32_t FFieldGeneratorID = 0;
  std::string FOldFieldName;
  uint32_t FPrivileges = 0;
};

// A fresh field generator identifier: uniformly random in 0 to 2147483646.
int32_t NewFieldGeneratorID();
