#include "engine/index/KeyFieldItem.h"

#include "platform/Exception.h"

void TKeyFieldItem::Assign(const TKeyFieldItem& source) {
  *this = source;
  VOR_ASSERT(!(DataType == ftString && SizeMarkerOffset == 0),
             "Internal status error in assign KeyField", "vorIndexUnit");
}
