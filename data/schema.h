// What schema discovery learns about a table's columns beyond the structure it defines: whether
// a column is NOT NULL (statement generation leaves out "NULLS FIRST"/"NULLS LAST" for such key
// columns, which gives the same order and lets the server use its index).
#pragma once

#include "runtime/str.h"

namespace vx::data {

using rt::u16;

void schema_set_not_null(u16 structure, u16 field, bool not_null);
bool schema_not_null(u16 structure, u16 field);   // false when nothing is known
void schema_clear();                              // forgets everything (shutdown, tests)

}  // namespace vx::data
