// Data files: the run-time's view of one table each. A data file is a structure
// (expr/structs.h) with a control record of sixteen words, a record buffer in list 6 of the
// string store (entry file - 1: the current image followed by the saved image, where field
// references NAME{FILE} read them) and the result slots that navigation keeps open.
//
// Record operations (open, close, clear, find, move, write, scan) execute the statements of
// data/sqlgen.h through data/sql.h and load the rows they return into the record buffer.
// Files are structure numbers; 0 or a number beyond the defined structures stands for the
// current data file (_CURFIL). Operations answer a status below 128 (also left in word 1)
// or an error code.
#pragma once

#include "data/sqlgen.h"
#include "runtime/str.h"

namespace vx::data {

using rt::i16;
using rt::i64;
using rt::Str;
using rt::u16;
using rt::u32;
using rt::u8;

// ---- The control record ----
inline constexpr u16 CTRL_WORDS = 16;
enum CtrlWord : u16 {
    CW_KEY = 0,          // current key number
    CW_STATUS = 1,       // status of the last operation
    CW_TEXT_FILE = 2,    // handle of an attached text file, -1 none
    CW_MULTI_SLOT = 3,   // result slot of the multi-read set, -1 none
    CW_MULTI_ROW = 4,    // row position inside it, -1 none
    CW_DICT_LINE = 5,    // update expressions loaded (0) or not (-1)
    CW_SCAN_OUTCOME = 6, // outcome of the current key-range scan
    CW_SCAN_COND = 7,    // condition result of the current record
    CW_SCAN_ROW = 8,     // row position inside the current chunk
    CW_SCAN_LAST = 9,    // last usable row of the chunk
    CW_SCAN_SLOT = 12,   // result slots of scan chunks, newest first (12-14), 0 none
    CW_FLAGS = 15,       // low byte: the flags the file was opened with
};
inline constexpr u16 SCAN_SLOTS = 3;
inline constexpr i16 CTRL_NONE = -1;

// Status words.
enum FileStatus : u16 {
    STATUS_EXACT = 0,     // the record read has the key asked for
    STATUS_NEIGHBOUR = 1, // another key (the next record), or the start reading backward
    STATUS_NONE = 2,      // not found, or the end
    STATUS_CLEARED = 3,   // the record buffer was cleared
    STATUS_EXISTS = 5,    // an insert found its key taken
};

// Open flags.
enum OpenFlags : u8 { OPEN_PLAIN = 1, OPEN_ROW_SCAN = 2, OPEN_TEST_READ = 8 };

// Find flags (FILEFIND, FILEREL).
enum FindFlags : u16 {
    FIND_PREPARE_NEW = 1,  // not found: clear and set the key's fields
    FIND_AT_OR_AFTER = 2,  // the first record at or after the key
    FIND_INSERT = 4,       // not found (key number given): insert the prepared record
    FIND_CONDITION = 8,    // the key is a condition of the expression language
};

// Move modes: the read modes of data/sqlgen.h plus these.
enum MoveMode : u8 {
    MOVE_RELOAD = 0,
    MOVE_CLEAR = 1,
    MOVE_FIND = 0x40,       // find on the key fields of the current image (bit 2: at or after)
    MOVE_NOTHING = 0xFF,
};
inline constexpr u8 MOVE_READ_BITS = 0x34;   // next/previous/first/last within a mode
inline constexpr u8 MOVE_LIST_SEARCH = 0x46; // names no single-record read

// Write flags: the high byte of a verb's code.
enum WriteFlags : u16 {
    WRITE_AFTER = 0x0100,      // run the update expressions on the new image (_SGN 1)
    WRITE_BEFORE = 0x0200,     // run them on the saved image first (_SGN -1)
    WRITE_OP = 0x0700,
    WRITE_INSERT = 0x0500,
    WRITE_DELETE = 0x0600,
    WRITE_SAVE = 0x0700,
    WRITE_KEY_CHECK = 0x0800,
    WRITE_NO_UPDATES = 0x1000,
};
inline constexpr u16 WRITE_INSERT_TEST = 0x0300;   // bits that tell an insert from a save
inline constexpr u16 UPSTAT_NO_KEY_CHECK = 64;     // _UPSTAT: insert without looking first
inline constexpr u16 UPSTAT_CONNECTED = 32;        // _UPSTAT: mirrors the connection
inline constexpr u16 UPSTAT_RELATION_HOOK = 4;     // _UPSTAT: FILEREL may use the hook

// Verb codes (expr/funcs_hooks.h: verb_code).
enum VerbCode : u16 {
    VERB_NEW = 0x0F01, VERB_TOP = 0x0F24, VERB_PRV = 0x0F16, VERB_RLD = 0x0000,
    VERB_NXT = 0x0F12, VERB_BOT = 0x0F20, VERB_FND = 0x0040, VERB_SVE = 0x0F00,
    VERB_INS = 0x0D00, VERB_DEL = 0x0642, VERB_LST = 0x0042, VERB_NLS = 0x00FF,
    VERB_BLS = 0x0046,
};

// Record images.
enum Image : u8 { IMAGE_CURRENT = 1, IMAGE_SAVED = 2, IMAGE_BOTH = 3 };

inline constexpr const char* UPDATE_FILE_SQL = "RELUPSQL.DAT";
inline constexpr const char* UPDATE_FILE_LOCAL = "RELUP.DAT";
inline constexpr const char* SELECTION_NONE = "NONE";
inline constexpr const char* DATAFILE_ASSERTION = "DataFileCtrl";

// ---- Files ----
// The file an operation works on: file itself when 1..defined structures, else _CURFIL; 0
// when that is out of range too (no current data file: operations answer 151).
u16 datafile_number(u16 file);
bool datafile_is_open(u16 file);
i16 datafile_ctrl(u16 file, u16 word);   // 0 for a file that is not open
// Puts back the key number, the status and the scan state (words 0, 1 and 6-11) of a control
// record saved word by word, as a caller that ran a scan of its own leaves the file. Words
// that name result slots keep what they hold now: the slots saved may be gone.
void datafile_ctrl_put_back(u16 file, const i16* words);

// One byte per data file, file 1 first, applied from the highest number down: non-zero
// opens with those flags, 0 closes. Stops at the first error.
u16 datafile_open_set(Str flags);
// An open text ("name;flags,..." or "RESTORE") applied as an open set and kept on its stack.
u16 datafile_select(Str text);
u16 datafile_open(u16 file, u8 flags);
u16 datafile_close(u16 file);
u16 datafile_clear(u16 file);

// ---- Fields and keys ----
// The key value (key 0: the current key) of an image, in the arena.
Str datafile_key(u16 file, u16 key, u8 image = IMAGE_CURRENT);
u16 datafile_set_key(u16 file, u16 key, Str value);
Str datafile_field(u16 file, u16 field, u8 image = IMAGE_CURRENT);   // stored text (arena)
// Fits text to the field (expr/fields.h) and writes it into the current image; a failure
// records 151 (module BufferFld) and leaves the field unchanged.
u16 datafile_set_field(u16 file, u16 field, Str text);
// Loads row `row` of a result slot into the images named.
u16 datafile_load_row(u16 file, u16 slot, u32 row, u8 images);

// ---- Navigation ----
u16 datafile_find(u16 file, u16 key, Str key_value, u16 flags);
u16 datafile_move(u16 file, u8 mode);

// ---- Writing ----
// selection: the update-expression lines to run ("" the default, "NONE" none); follow_up:
// a saved record becomes unchanged, a deleted one moves the file to the next record.
u16 datafile_write(u16 file, u16 flags, Str selection, bool follow_up);
// Ends an open cursor transaction (after a maintenance form's write).
u16 sql_commit_point();

// ---- Single statements executed (the row read is left for the caller to load) ----
// 0 with the row in *slot, 2 without a row (1 for a previous read), or the failure.
u16 sql_read_one(u16 file, Str key_value, u8 mode, Str extra, Str end_key, u16* slot);
u16 sql_find_first(u16 file, u16 key, Str key_value, u16 flags, u16* slot);
u16 sql_count(u16 file, u16 key, Str start_key, Str end_key, Str extra, i64* records);
// The server's estimate of what sql_count would count, from its statistics (no record is
// read): for sizing a progress display. 0 with the estimate, or the failure.
u16 sql_count_estimate(u16 file, u16 key, Str start_key, Str end_key, Str extra, i64* records);
// All records of a key value into a result slot of their own: 141 when fewer than 2.
u16 sql_multi_read(u16 file, u16 key, Str key_value, u16* slot, u32* rows);
// Update by key (key 0: the current one) with a set list ("field" = literal,...; empty:
// nothing to do); *rows gets the rows changed. When no row has the key and insert is
// allowed, the record buffer is cleared, the key's fields are set from the key value, the
// record is inserted, _RELRES becomes 4 and the update runs once more.
u16 sql_update_by_key(u16 file, u16 key, Str key_value, Str set_list, bool insert, u32* rows);

// ---- Key-range scans ----
// The action answers 0 to go on, anything else ends the scan with that code. Progress is
// called every SCAN_PROGRESS_ROWS records read, accepted or not; non-zero (122: cancelled)
// ends the scan. Waiting (when given) is called with the records read so far about every
// SCAN_WAIT_MS while the scan waits for the server; non-zero cancels the statement and ends
// the scan. Both are where a caller looks at the clock and keeps its window alive.
//
// Chunks are read ahead: the statement of the next chunk goes to the server before the rows
// of the current one are handed out, so the server works while they are. A statement of the
// action or the condition on the same connection (a related record, a write) first waits for
// the chunk; what the scan hands out is the same either way.
using ScanAction = u16 (*)(void* context, u16 file);
using ScanProgress = u16 (*)(void* context, u32 records_read);
inline constexpr u32 SCAN_PROGRESS_ROWS = 256;
inline constexpr int SCAN_WAIT_MS = 20;
struct ScanRequest {
    u16 file = 0;
    Str end_key{"\xFF", 1};        // 0xFF alone: no bound
    Str condition{"", 0};          // expression language; "" accepts every record
    ScanAction action = nullptr;
    ScanProgress progress = nullptr;
    void* context = nullptr;
    ScanProgress waiting = nullptr;
};
struct ScanCounts {
    u32 read = 0;
    u32 accepted = 0;
    u32 statements = 0;
};
// From the current record's key value (current key) up to the end key, in key order.
// Ends with 2 when the records are exhausted, or the code that stopped it.
u16 datafile_scan(const ScanRequest& request, ScanCounts* counts);

// ---- Relations ----
// What a relation step did, in _RELRES.
enum RelationResult : i16 { RELRES_WENT_ON = 2, RELRES_MISSING = 4, RELRES_DELETED = 12 };
// Entry 3 of the hook table: a lookup of related records that replaces FILEREL's own.
inline constexpr u16 HOOK_RELATION = 3;
using RelationHook = u16 (*)(u16 file, Str key, u16 key_number, u16 flags);

// ---- Life cycle ----
// Registers the data-file functions of expressions (FILEFIND, FILEREL, FILELOCATE, KEY$,
// IER, FN#FLEN, FILESEL).
void datafile_install();
void datafile_free();   // closes every file, forgets update expressions
// Statements sent by data-file operations since start (tests and benchmarks).
u32 datafile_statements();

}  // namespace vx::data
