// The streamed properties of a field of the record layout, in stored order. NumDecimalPlaces
// (0) and IsVariable (False) declare defaults and are written only when they differ.
#pragma once

#include "engine/tables/InternalFieldItem.h"
#include "platform/PropertyTable.h"

const TPropertyTable<TInternalFieldItem>& InternalFieldItemProperties();
