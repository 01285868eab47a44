#include "engine/tables/SearchFields.h"

void TSearchFieldItem::Assign(const TInternalFieldItem& source) {
  TInternalFieldItem::Assign(source);
  if (const auto* search = dynamic_cast<const TSearchFieldItem*>(&source)) {
    FInIndex = search->FInIndex;
    FKeyFlag = search->FKeyFlag;
  }
}

std::unique_ptr<TInternalFieldItem> TSearchFields::NewItem() const {
  return std::make_unique<TSearchFieldItem>();
}
