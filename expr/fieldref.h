// Field references NAME{FILE}: a field of a data file's record buffer, read and written by
// expressions.
//
// The text between the braces is the file's name (when it begins with a letter), its number,
// or nothing for the current file (_CURFIL); the text before "{" is the field's name (exact
// comparison) or its number; "}" ends the reference. The record buffer of file n is entry
// n - 1 of list RECORD_LIST of the string store: the current image (record-length bytes,
// each field at its offset) followed by the saved image. Expressions read and change the
// current image; bytes missing from a short or absent buffer read as blanks.
#pragma once

#include "expr/value.h"

namespace vx::expr {

inline constexpr u16 RECORD_LIST = 6;       // string-store list of the record buffers
inline constexpr u16 RECORD_IMAGES = 2;     // current and saved image
inline constexpr char FIELD_CONTEXT[] = "Field:";

struct FieldRef {
    u16 file = 0;         // structure number, 1..
    u16 field = 0;        // field number within the structure, 1..
    char type = 0;        // type letter
    u16 width = 0;
    u16 offset = 0;       // in the record image
    u16 record_length = 0;
    bool text = false;    // the field reads as a string
};

// Resolves a reference: 0; 161 ("FILEOUTBOUND") for a file number 0 or beyond the defined
// structures; 147 for a malformed reference and 168 for an unknown field, both with
// "Field:" and the reference as error context.
u16 field_ref_parse(Str ref, FieldRef* out);
// The field's value: the stored text for a text field (a new string in the arena), else the
// number read from it.
u16 field_ref_get(const FieldRef& f, Value& out);
// Fits the value to the field and writes it into the current image: 0, or the fitting error
// (168 when a number does not fit) with the field error context.
u16 field_ref_set(const FieldRef& f, const Value& v);
// Returns code with "(File:<file>, Field:<field>)" as error context.
u16 field_error(u16 code, u16 file, u16 field);

}  // namespace vx::expr
