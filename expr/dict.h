// Dictionary files: the text files that define an application's data-file structures,
// named by the two-character application prefix and an item of DICT_FILES ("VXDICC.DAT").
//
// Each line starts with a two-digit number n: 1-30 with "*" a structure line (items split
// at "*": folder in item 2, number and name in item 3; a "$" in item 2 makes it an include
// line naming another prefix), 1-30 without "*" a field line (width in columns 10-12, type
// letter in column 14, name from column 15), 31-60 a key line for structure n-30 (after
// "<", up to five parts of 7 digits: offset from 1 and length), 61-90 a dictionary line for
// structure n-60 (the text after the first ":"). Lines starting otherwise are ignored.
//
// Structure numbers of key and dictionary lines count from the structures that existed when
// their file began loading; after an include line, from those that exist once the included
// files are loaded. The included files count from the structures that existed when the
// include began, so each file numbers only the structures it defines itself.
#pragma once

#include "expr/value.h"

namespace vx::expr {

inline constexpr const char* DICT_FILES = "DICC.DAT,REL.DAT,RELUP.DAT,RELUPSQL.DAT,MENU.PPN";
enum DictFile : u16 { DICT_DICC = 1, DICT_REL, DICT_RELUP, DICT_RELUPSQL, DICT_MENU };
inline constexpr u16 DICT_LINE_MAX = 512;
inline constexpr u16 DICT_INCLUDE_DEPTH = 8;

Str dict_file_name(Str prefix, u16 which);   // prefix + item (arena)

// Loads prefix's DICC.DAT (required) and REL.DAT (optional), found in the folders of the
// comma list `folder`; a structure line without a folder takes default_folder. 0 or the
// first error: 164 (detail: the file name) without DICC.DAT, 161, 163, 151 from the
// definitions, 168 for a line over 512 bytes, 129 for includes nested too deep. A failed
// load leaves the structures as they were before it.
u16 dict_load(Str folder, Str prefix, Str default_folder);

// Declares each data file to the variable layer: an integer variable named by the
// structure's lower-case name holds its number. Names that are not integer variable names
// (with "$", "#", "(" or ",") are left out. 0 or the first error.
u16 dict_declare();

}  // namespace vx::expr
