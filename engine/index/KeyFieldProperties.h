// The streamed properties of a key field, in stored order; no property declares a default.
#pragma once

#include "engine/index/KeyFieldItem.h"
#include "platform/PropertyTable.h"

const TPropertyTable<TKeyFieldItem>& KeyFieldItemProperties();
