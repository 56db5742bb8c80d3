// Translation of a condition of the expression language into an SQL condition, so that the
// server does the coarse filtering of a key-range scan while the evaluator still decides on
// every record read.
//
// The SQL never rejects a record that the evaluator accepts: what cannot be translated
// exactly is widened or left out. A comparison "field op value" of the data file translates;
// the value (its operands up to the next operator that is not arithmetic) is evaluated once,
// here, and a value that reads fields is left out. A comparison takes "IS NULL OR" where the
// evaluator accepts a row holding NULL (read as 0 or as blanks); text fields compare as the
// evaluator sees them, padded to their width; a wildcard text with == becomes an ILIKE
// pattern of the same meaning. Groups translate recursively; && becomes AND, || and @@
// become OR, and an item left out of a level with OR takes the whole level with it.
#pragma once

#include "runtime/str.h"

namespace vx::data {

using rt::Str;
using rt::u16;

inline constexpr u16 AUXSTAT_CONDITION_IS_SQL = 256;  // _AUXSTAT: conditions are SQL already

// The SQL condition of text for data file s; empty when nothing translates. Fails with 147
// (the condition as detail) when a value cannot be evaluated, 129 for unbalanced brackets.
Str sql_condition(u16 s, Str text);

}  // namespace vx::data
