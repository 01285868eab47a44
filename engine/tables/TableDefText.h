// The stored text form of a table definition, as the catalogue keeps it: the component text
// of ComponentText.h with the class name "TTableDef" and the published properties in
// streaming order, the three collections with their items' properties.
//
// A stored text is untrusted. Reading takes it over only when all of it is sound: a damaged
// text (syntax, unknown or missing properties, values of the wrong kind or out of range) or a
// definition that other parts of the engine could not use safely (more than 255 fields,
// field indexes that are not 0 to n - 1 once each, more indexes than a table header holds, a
// string key field without a size marker) raises 8451 and leaves the definition unchanged;
// a field type a table cannot hold raises 10000.
#pragma once

#include <string>
#include <string_view>

#include "engine/tables/TableDef.h"
#include "platform/PropertyTable.h"

const TPropertyTable<TTableDef>& TableDefProperties();

// 8581 for a definition that has no text form (a date that is not a finite number).
std::string TableDefToText(const TTableDef& definition);
// 8577 for an Owned definition: it describes an open table.
void TableDefFromText(std::string_view text, TTableDef& definition);
