// Error codes, the process error record (code, module) and the error detail text.
//
// Operations return 16-bit codes: 0 success, 1-120 warnings, 121 silent stop of start-up,
// 122-185 named codes; 128 and above are errors. The first error of 128 or more stays in
// the error record until it is shown or cleared.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

enum ErrorCode : u16 {
    E_OK = 0,
    E_SILENTSTOP = 121,
    E_CANCELLED = 122,       // "Cancelado por el usuario"
    E_NULLEXPR = 123,        // "Expresion Nula"
    E_UNDEFWARN = 124,       // "Aviso Indefinido"
    E_ODDTYPE = 125,         // "Tipo Atipico"
    E_BADDATA = 126,         // "Datos incorrectos"
    E_NODATA = 127,          // "No hay datos"
    E_TYPEMISMATCH = 128,    // "Tipos Incompatibles"
    E_LOOP = 129,            // "Fallo de loop"
    E_DISKIO = 130,          // "Disco (I/O)"
    E_FILEIO = 131,          // "Fichero I/O"
    E_PRCEXEC = 132,
    E_PRCSTCK = 133,
    E_TRANSUP = 134,
    E_VARHANDL = 135,
    E_READ = 136,
    E_WRITE = 137,
    E_OPEN = 138,
    E_NET = 139,
    E_BADEXPR = 140,
    E_INTERNAL = 141,        // "Interno"
    E_FARHEAPINI = 142,
    E_SCREENENV = 143,
    E_INDEXCMD = 144,
    E_OUTOFMEMORY = 145,
    E_STRINGTOOLONG = 146,
    E_SYNTAX = 147,
    E_FEATUREREMOVED = 148,
    E_DIMSTRUC = 149,
    E_BADSTRINGTYPE = 150,
    E_BADFILENUMBER = 151,
    E_FORMATFAILURE = 152,
    E_STRCONCATERR = 153,
    E_MEMORYALLOCERR = 154,
    E_EXPCALC = 155,
    E_LOADSTRERROR = 156,
    E_VARNAME = 157,
    E_BADCOMMANDLINE = 158,
    E_STROUTBOUND = 159,
    E_MEMTEST = 160,
    E_FILEOUTBOUND = 161,
    E_SQLERROR = 162,
    E_DATA = 163,            // "de Datos"
    E_FILENOTFOUND = 164,    // "Fichero no encontrado"
    E_FILEEXISTS = 165,
    E_FILEOPEN = 166,
    E_CHILDEXEC = 167,
    E_DATAOUTBOUND = 168,
    E_FILENOTINIT = 169,
    E_COMMONCTL = 170,
    E_DEVICETIMEOUT = 171,
    E_DEVICEIO = 172,
    E_SYSTEMCMD = 173,
    E_USERCHECK = 174,
    E_PERMISSION = 175,
    E_STRUCTMEM = 176,
    E_SCREENSTRUCT = 177,
    E_MEMLEAKS = 178,
    E_WINCONTROL = 179,
    E_MEMOVERFLOW = 180,     // "Memory Overflow"
    E_SCREENFIELD = 181,
    E_DATAEXISTS = 183,
    E_LOCALONLY = 184,
    E_NOGRAPHICS = 185,
};

inline constexpr u16 FIRST_ERROR = 128;  // codes at or above are errors
inline constexpr u16 FIRST_NAMED = 122;  // codes 122-185 have names of their own
inline constexpr u16 LAST_NAMED = 185;

// Modules that raise errors (recorded with the code).
enum Module : u16 {
    M_STRINGINIT = 1, M_STRINGASSIGN = 2, M_STRCONCAT = 3, M_VARNMASSIGN = 4,
    M_SQLCONNECT = 5, M_SQLEXEC = 6, M_EXEC_COMPILER = 7, M_MALLOC = 8,
    M_EXECRUNTIME = 9, M_VARSTRUCT = 10, M_EXPEXEC = 11, M_SORT = 12,
    M_BUFFERFLD = 13, M_DYNSTRINGS = 14, M_STRUCTFUNCS = 15, M_FORMATSTRINGS = 16,
    M_STREAMS = 17, M_DATAFILE = 18, M_LOCALLISTS = 19, M_SCREENS = 20,
    M_DEVICES = 21, M_HTMLSCAN = 22,
};
inline constexpr const char* MODULE_NAMES =
    "STRINGINIT,STRINGASSIGN,STRCONCAT,VARNMASSIGN,SQLCONNECT,SQLEXEC,EXEC_COMPILER,"
    "Malloc-MemAcums,ExecRunTime,VarStruct,ExpExec,Sort,BufferFld,DynStrings,StructFuncs,"
    "FormatStrings,Streams,DataFile,LocalLists,Screens,Devices,HtmlScan";

inline constexpr u16 DETAIL_MAX = 1024;  // the detail text is cut back to this when appending

// Records (code, module) when status is not 0 and either nothing of 128 or more is
// recorded yet and code >= 128, or status is 2 (which overwrites; 2 with code 0 and
// module 0 clears). Returns result unchanged so that it can wrap a return value.
u16 error_note(u16 status, u16 module, u16 code, u16 result);
inline u16 error_raise(u16 module, u16 code) { return error_note(1, module, code, code); }
void error_clear();
u16 error_code();
u16 error_module();

struct ErrorPair {
    u16 code = 0;
    u16 module = 0;
};
ErrorPair error_current();               // the recorded pair

// Stores text as the error detail (appended behind CR LF when append is set) and
// returns code.
u16 fail_with_detail(u16 code, Str text, bool append);
Str error_detail();
void error_detail_clear();

// ---- Texts of codes ----
Str error_name(u16 code);                // "Indefinido" for a code without a name
Str module_name(u16 module);             // "" for 0 or an unknown number
// What a code shows: for 0 message 0005, for 1-120 message 0008, for 121 and 126 the detail
// text (else the name), else the name; from 128 on behind message 0009 ("Error "), with the
// recorded module in brackets and ": " and the detail text when there are. In the arena.
Str error_message(u16 code);
// Shows error_message(code) in a box (kind 1 captioned by message 0012 below 128, kind 3
// captioned by message 0013 from 128), then removes the detail text and, when the code shown
// is the recorded one, clears the record. Returns 0.
u16 error_show(u16 code);

}  // namespace vx::rt
