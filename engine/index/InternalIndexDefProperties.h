// The streamed properties of an index definition, in stored order; no property declares a
// default.
#pragma once

#include "engine/index/InternalIndexDefs.h"
#include "platform/PropertyTable.h"

const TPropertyTable<TInternalIndexDef>& InternalIndexDefProperties();
