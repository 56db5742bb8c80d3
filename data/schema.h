// What schema discovery learns about a table's columns beyond the structure it defines:
// whether a column is NOT NULL (statement generation leaves out "NULLS FIRST"/"NULLS LAST"
// for such key columns, which gives the same order and lets the server use its index), and
// whether its type has an empty value at all (character columns hold '', a date or a
// timestamp does not, so there NULL is the only blank a comparison may name).
#pragma once

#include "runtime/str.h"

namespace vx::data {

using rt::u16;

void schema_set_not_null(u16 structure, u16 field, bool not_null);
bool schema_not_null(u16 structure, u16 field);   // false when nothing is known
// Whether the column's type has the empty text '' among its values; unknown columns count
// as having one unless their field type is a date.
void schema_set_has_blank(u16 structure, u16 field, bool has_blank);
bool schema_has_blank(u16 structure, u16 field, char field_type);
void schema_clear();                              // forgets everything (shutdown, tests)

}  // namespace vx::data
