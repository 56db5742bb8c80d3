// What the data-file sources share: the process's table of data files (control records,
// field layouts, loaded update expressions), the record buffer in the string store, row
// loading and the statement runner that counts what it sends.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "data/datafile.h"
#include "data/sql.h"
#include "expr/structs.h"
#include "runtime/log.h"
#include "runtime/sysvars.h"

namespace vx::data::df {

using rt::u16;

// How a column's text becomes a field's bytes.
enum FieldKind : u8 { KIND_TEXT, KIND_DATE, KIND_OTHER };

struct FieldLayout {
    char type = 'A';
    u8 kind = KIND_TEXT;
    u16 width = 0;
    u16 offset = 0;
};

struct FileState {
    bool open = false;
    i16 ctrl[CTRL_WORDS] = {};
    u16 record_length = 0;
    std::vector<FieldLayout> fields;
    std::vector<std::string> lines;   // update expressions by line number, once loaded
    // What the fields of the rows loaded show only approximately: the row loaded last, with
    // the saved image it was loaded as, and the last rows read by navigation (newest first),
    // so that a record put back by a caller after work of its own is still recognised.
    ExactRow exact;
    std::string exact_image;
    std::vector<std::pair<std::string, ExactRow>> recent;
};
inline constexpr u16 EXACT_RECENT_MAX = 4;

struct DataFiles {
    FileState file[expr::STRUCT_MAX];
    u32 statements = 0;
};
extern DataFiles files;

// The control record of data file n. Operations resolve the file they are given first (151
// when there is none); a number outside the table reaching here is a fault of the code,
// reported through the assertion "DataFileCtrl", which ends the process.
inline FileState& state(u16 n) {
    if (n == 0 || n > expr::STRUCT_MAX)
        rt::assert_true(false, rt::str_from_cstr(DATAFILE_ASSERTION));
    return files.file[n - 1];
}

// The file of an operation, open: 0 with its number, or 151 (not open / no such file).
u16 use(u16 file, u16* n);

void set_status(u16 n, u16 status);

// Runs a statement (counted): see sql_exec_into; *slot receives the slot of the result.
u16 exec(Str statement, u16 slot_rule, u32* rows, u16* slot);
// Sends a statement (counted) to be collected later: see sql_send.
u16 send(Str statement, SqlPending* pending);

// Keeps _SQLSTK for a scope: data-file operations leave the caller's current slot alone.
class SlotScope {
public:
    SlotScope() : saved_(rt::sysint_get(rt::SV_SQLSTK)) {}
    ~SlotScope() { rt::sysint_set(rt::SV_SQLSTK, saved_); }
    SlotScope(const SlotScope&) = delete;
    SlotScope& operator=(const SlotScope&) = delete;
private:
    i16 saved_;
};

// ---- The record buffer ----
// Writable bytes of both images (2 * record length), made blank when missing or of
// another size; null when the store has no room (its code in *rc).
char* buffer(u16 n, u16* rc);
Str image(u16 n, u8 which);          // view of one image (blanks when absent: arena)
u16 clear_images(u16 n, u8 which);
void copy_current_to_saved(u16 n);

// Loads row `row` of slot into dst (record-length bytes). A value that does not fit its
// field fills it with '*' and records 168 (module BufferFld) with the field as detail.
// exact (when given) receives the fields that show their value only approximately.
void load_image(const FileState& f, u16 slot, u32 row, char* dst, ExactRow* exact = nullptr);
// Loads the images; the file's exact row follows the row loaded. A row read by navigation
// (not by a scan passing through) is also remembered among the recent ones.
enum LoadKind : u8 { LOAD_NAVIGATION, LOAD_SCAN };
u16 load_row(u16 n, u16 slot, u32 row, u8 images, LoadKind kind = LOAD_NAVIGATION);
// What the fields of the record in the saved image show approximately: the exact row of
// the load that gave that image (an empty row when none is known).
const ExactRow& loaded_exact(u16 n);
// Statements built in this scope address the record loaded exactly.
struct LoadedRowScope : ExactScope {
    explicit LoadedRowScope(u16 n) : ExactScope(n, loaded_exact) {}
};

// Key value of key (0: current) in a record image, in the arena.
Str key_of(u16 n, u16 key, Str img);
u16 key_number(u16 n, u16 key);
bool key_blank(Str key_value);
// Writes a key value into the key's parts of the current image.
u16 put_key(u16 n, u16 key, Str value);

// ---- Navigation (navigate.cpp) ----
void leave_multi(u16 n);
u16 key_duplicated(u16 n, u16 key, Str key_value, bool* duplicated);
// One step of a move outside a set with an extra condition and end key (scans by record).
u16 move_with(u16 n, u8 mode, Str extra, Str end_key);
// Reads an open multi-read set again (after a save), keeping its row position.
u16 reread_multi(u16 n);
// The first record from start_key up to end_key that the SQL condition lets through.
u16 read_first_in_range(u16 n, Str start_key, Str condition, Str end_key);

// The first key field's own bound under a range from key_value (op: >= forward, <= back).
Str leading_bound(u16 n, u16 key, Str key_value, u16 op);

// ---- Scans (scan.cpp) ----
void release_scan(u16 n);

// ---- Writing (write.cpp) ----
void forget_updates(u16 n);

}  // namespace vx::data::df
