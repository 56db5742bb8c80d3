// Folder names, %NAME% substitution and path arithmetic. Paths are built with "/" and read
// with either "/" or "\" as separator, so texts written for Windows ("..\data") still work.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

enum FolderName : u16 {
    APPPATH_RUNPATH = 1, APPPATH_DEFAULT, APPPATH_DATA, APPPATH_DOCS, APPPATH_HELP,
    APPPATH_BACKUP, APPPATH_BACKREL,
};
inline constexpr const char* FOLDER_NAMES =
    "APPPATH_RUNPATH,APPPATH_DEFAULT,APPPATH_DATA,APPPATH_DOCS,APPPATH_HELP,APPPATH_BACKUP,"
    "APPPATH_BACKREL";

// Parts of a path for path_part.
enum PathPart : u16 { PART_DRIVE = 1, PART_FOLDER = 2, PART_NAME = 4, PART_EXT = 8 };

inline constexpr char PATH_SEP = '/';
inline constexpr u16 PATH_EXPAND_ROUNDS = 64;  // substitutions before path_expand gives up

Str path_resolve(u16 number);
Str path_expand(Str text);
Str path_join(Str folder, Str name);
Str path_ext_join(Str name, Str ext);
Str path_part(Str path, u16 parts);
Str path_relative(Str base, Str rel);
Str path_find(Str folders, Str name);   // "" when not found
Str path_localised(Str name, u16 language);
u16 folder_make(Str path);
Str path_cwd();                          // current folder
// The folder of the files the programs ship with (message files, help pages, images):
// "share/varnox" beside the folder of the running program, as installed
// (/usr/bin/varnox reads /usr/share/varnox) and as built (build/bin, build/share/varnox).
inline constexpr const char* SHARED_FOLDER = "share/varnox";
Str path_shared();

// File kinds: extensions by kind number. Kind 1 of the first list is no extension; with
// bit 128 added to the kind the extension is lower-case.
inline constexpr const char* FILE_KINDS_A = ",FD,DIR,NDX,TMP,TXT";
inline constexpr const char* FILE_KINDS_B = "PPN,PAN,STP,DAT,DAT,PDC,PRX,KVA,PMT,PDF,TXT,PDI,HLP,CFG";
enum FileKindB : u16 { KIND_PPN = 1, KIND_DAT = 4, KIND_PMT = 9, KIND_PDF = 10, KIND_TXT = 11,
                       KIND_HLP = 13, KIND_CFG = 14 };
inline constexpr u16 KIND_LOWER = 128;
Str file_kind_ext(u16 kind, bool second_list);

// A new unique file in the current folder with the extension of kind (second list).
Str temp_name(u16 kind);

}  // namespace vx::rt
