// The procedure compiler and the table of loaded procedures.
//
// A procedure file is a text of lines: remarks (";", "#", "/"), labels (":name"), entry
// points ("DEF_FN name"), keyword statements and expression statements. Compiling turns it
// into a procedure record: one instruction per statement (its keyword code, its resolved
// jump target and where its text lies), the entry points and labels, and every text stored
// once, all in one memory block. Statements are numbered from 1 counting statements only;
// messages that name one add "(+ remmarks)" so the reader adds the uncounted lines.
//
// Loaded records sit in a small numbered table; a procedure's handle is its index there, and
// stays valid until that procedure is unloaded.
#pragma once

#include "runtime/startup.h"
#include "runtime/str.h"

namespace vx::prc {

using rt::Str;
using rt::u16;
using rt::u32;

inline constexpr u16 TAG_PROC = 7;  // owner tag of procedure memory blocks

// ---- Keywords: one comma list; a keyword's code is its 1-based position ----
inline constexpr const char* PRC_KEYWORDS =
    "GOTO,GOSUB,CALL,RETURN,ENDIF,LOOP,LOOP_WHILE,LOOP_UNTIL,ELSE,IF,IF_TRUE,DO_WHILE,"
    "IF_FALSE,DO_UNTIL,DO,DEF_FN,LOCALVARS,END,"
    "ACCEPT,BOUNDS,COLOR,CONNECT,DEVICE,DLOCATE,DPRINT,ENDDEVICE,EXPORT,FILESELECT,IMPORT,"
    "KILL,LOADSTRUCT,LOCATE,MESSAGE,PRINT,SHELL,READ,REMOTE,REPORT,DOCPRINT,WAIT,WINMENU,"
    "WINOPEN,WINCLOSE,WINSELECT,WINPROG,RC_DELETE,RC_INSERT,RC_UPDATE,RC_WRITE,FILESTRUCT,"
    "FILESCAN,STATSTEPS,SYSTEM";

enum PrcCode : u16 {
    PC_EXPR = 0,  // no keyword: the whole line is an expression
    PC_GOTO, PC_GOSUB, PC_CALL, PC_RETURN,
    PC_ENDIF, PC_LOOP, PC_LOOP_WHILE, PC_LOOP_UNTIL,  // close a block
    PC_ELSE,                                          // closes a block and opens one
    PC_IF, PC_IF_TRUE, PC_DO_WHILE, PC_IF_FALSE, PC_DO_UNTIL, PC_DO,  // open a block
    PC_DEF_FN, PC_LOCALVARS, PC_END,
    PC_ACCEPT, PC_BOUNDS, PC_COLOR, PC_CONNECT, PC_DEVICE, PC_DLOCATE, PC_DPRINT,
    PC_ENDDEVICE, PC_EXPORT, PC_FILESELECT, PC_IMPORT, PC_KILL, PC_LOADSTRUCT, PC_LOCATE,
    PC_MESSAGE, PC_PRINT, PC_SHELL, PC_READ, PC_REMOTE, PC_REPORT, PC_DOCPRINT, PC_WAIT,
    PC_WINMENU, PC_WINOPEN, PC_WINCLOSE, PC_WINSELECT, PC_WINPROG, PC_RC_DELETE,
    PC_RC_INSERT, PC_RC_UPDATE, PC_RC_WRITE, PC_FILESTRUCT, PC_FILESCAN, PC_STATSTEPS,
    PC_SYSTEM,
};
inline constexpr u16 PRC_KEYWORD_COUNT = PC_SYSTEM;
inline constexpr u16 PC_FIRST_COMMAND = PC_ACCEPT;  // codes from here on go to a command executor

inline constexpr bool prc_closes_block(u16 code) { return code >= PC_ENDIF && code <= PC_ELSE; }
inline constexpr bool prc_opens_block(u16 code) { return code >= PC_ELSE && code <= PC_DO; }
inline constexpr bool prc_is_command(u16 code) {
    return code >= PC_FIRST_COMMAND && code <= PC_SYSTEM;
}

// ---- Limits ----
inline constexpr u16 PRC_MAX_STATEMENTS = 65534;   // indices and the end position fit 16 bits
inline constexpr u16 PRC_MAX_LABELS = 128;
inline constexpr u16 PRC_MAX_ENTRIES = 128;
inline constexpr u16 PRC_MAX_NESTING = 16;         // blocks open at once
inline constexpr u16 PRC_RETURN_DEPTH = 64;        // GOSUB returns pending in one run
inline constexpr u16 PRC_MAX_LINE = 32767;         // bytes of one source line
inline constexpr u32 PRC_MAX_TEXT = 8u << 20;      // bytes of all texts of one record
inline constexpr u32 PRC_MAX_SOURCE = 16u << 20;   // bytes of one procedure file
inline constexpr u16 PRC_TABLE_MAX = 48;           // procedures loaded at once

// ---- The procedure record ----
struct PrcInstr {
    u32 text = 0;    // offset of the statement's text in the record's texts
    u16 len = 0;     // length of that text
    u16 code = 0;    // PrcCode
    u16 target = 0;  // statement index from 0: a label's position or the block partner
};

// An entry point or a label: its name (in the record's texts) and its statement index.
struct PrcName {
    u32 text = 0;
    u16 len = 0;
    u16 pos = 0;
};

// A compiled procedure. The arrays and texts live in one block owned by the record; the
// rest is a small header that a run copies, so that every run has its own position and
// GOSUB return stack while sharing the arrays.
struct PrcRecord {
    void* block = nullptr;             // TAG_PROC: instructions, entries, labels, texts
    const PrcInstr* instr = nullptr;   // `count` entries
    const PrcName* entries = nullptr;  // in declaration order
    const PrcName* labels = nullptr;   // in declaration order
    const char* texts = nullptr;       // the file name, then every text, each ended by NUL
    u32 texts_len = 0;
    u16 name_len = 0;                  // the file name is the first text
    u16 count = 0;                     // statements
    u16 entry_count = 0;
    u16 label_count = 0;
    u16 error = 0;                     // the compile result, later a run's last error
    u16 pos = 0;                       // next statement of a run (0 after compiling)
    u16 depth = 0;                     // return stack entries in use (0 after compiling)
    u16 ret[PRC_RETURN_DEPTH] = {};
};

// ---- Keywords ----
u16 prc_keyword_code(Str word);   // the code; 0 when not a keyword; letters in any case
Str prc_keyword(u16 code);        // the keyword; "" for 0 and codes past the table

// ---- Compiling ----
// Compiles a procedure text (lines ended by LF or CR LF) into *rec, keeping name as the
// record's file name. Returns 0, or the code of the first fault (145, 146, 147) recorded
// with module 7 and a detail text naming the statement; *rec is then empty but for its
// error code.
u16 prc_compile(Str name, const char* text, u32 n, PrcRecord* rec);
// Frees the record's block (0, or the memory layer's code) and empties the record.
u16 prc_release(PrcRecord* rec, u16 tag = TAG_PROC);

// ---- Reading a record ----
Str prc_text(const PrcRecord& rec, u16 i);              // statement i from 0; "" past the end
Str prc_name_text(const PrcRecord& rec, const PrcName& name);
Str prc_file_name(const PrcRecord& rec);
u16 prc_entry_find(const PrcRecord& rec, Str name);     // entry index, NOT_FOUND when absent
u16 prc_label_find(const PrcRecord& rec, Str name);     // label position, NOT_FOUND when absent

// ---- The table of loaded procedures ----
// Finds the file (as named, then in each data folder), compiles it and appends the record:
// its handle (below PRC_TABLE_MAX), or 164 (not found, unreadable or empty), a compile
// code, or 141 when the table is full.
u16 prc_load(Str file);
// Frees a loaded procedure: 0, 168 for a handle that holds none, or the memory layer's code
// for a wrong owner tag. A handle above 121 is an error code and comes back unchanged.
u16 prc_unload(u16 handle, u16 tag = TAG_PROC);
u16 prc_table_count();                       // one past the newest handle in use
u16 prc_loaded();                            // procedures loaded
const PrcRecord* prc_record(u16 handle);     // null when the handle holds none
// The newest record that declares the entry point `name` (with an empty name, the newest
// record): its handle, or NOT_FOUND. *entry receives the entry index, NOT_FOUND for none.
u16 prc_find(Str name, u16* entry);

// ---- Life cycle ----
// The run operation of hook slot 1 (it runs procedures for EXEC$): installed there by
// prc_install and again by every compile.
void prc_run_op_set(rt::AnyFn run);
void prc_free();      // unloads everything
// Registers prc_free for the shutdown, the PrcExec task and the run operation, which it puts
// in hook slot 1 at once.
void prc_install();

}  // namespace vx::prc
