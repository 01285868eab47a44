// The fields of a search (locate): a field layout whose items also tell whether the field is
// covered by the key of the index used for the search, and the key field's option flag.
//
// Invariant: every item of a TSearchFields is a TSearchFieldItem.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/tables/InternalFields.h"

class TSearchFieldItem : public TInternalFieldItem {
 public:
  // Copies InIndex and KeyFlag too when the source is a search field.
  void Assign(const TInternalFieldItem& source) override;

  uint8_t InIndex() const { return FInIndex; }
  uint8_t KeyFlag() const { return FKeyFlag; }
  void SetInIndex(uint8_t value) { FInIndex = value; }
  void SetKeyFlag(uint8_t value) { FKeyFlag = value; }

 private:
  uint8_t FInIndex = 0;
  uint8_t FKeyFlag = 0;
};

class TSearchFields : public TInternalFields {
 public:
  TSearchFieldItem& Add() { return static_cast<TSearchFieldItem&>(TInternalFields::Add()); }
  TSearchFieldItem& Items(int position) {
    return static_cast<TSearchFieldItem&>(TInternalFields::Items(position));
  }
  const TSearchFieldItem& Items(int position) const {
    return static_cast<const TSearchFieldItem&>(TInternalFields::Items(position));
  }
  TSearchFieldItem* FindField(const std::string& name) {
    return static_cast<TSearchFieldItem*>(TInternalFields::FindField(name));
  }

 protected:
  std::unique_ptr<TInternalFieldItem> NewItem() const override;
};
