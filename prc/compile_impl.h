// Inside the procedure compiler: the state of one compile, fed line by line, shared by
// compiling a text (compile.cpp) and loading a file (procs.cpp).
#pragma once

#include "expr/pool.h"
#include "prc/compile.h"

namespace vx::prc::detail {

struct Compiler {
    expr::Pool instr;                  // PrcInstr of the statements stored so far
    expr::Pool texts;                  // the file name, then texts and names, each ended by NUL
    PrcName labels[PRC_MAX_LABELS];
    PrcName entries[PRC_MAX_ENTRIES];
    u16 label_count = 0;
    u16 entry_count = 0;
    u16 name_len = 0;                  // the file name, the first text
    u16 stored = 0;                    // statements stored so far
    u32 lines = 0;                     // lines taken
    u32 bytes = 0;                     // source bytes taken
    u16 error = 0;                     // the first fault; once set, lines are ignored
};

// Starts a compile: installs the run operation in hook slot 1 and keeps the file name.
u16 compile_begin(Compiler& c, Str name);
// Pass 1 for one line (without its terminator); returns the compile's error so far.
u16 compile_line(Compiler& c, const char* p, u32 n);
// Assembles the record and resolves its targets (pass 2) unless a fault is recorded already;
// releases the compile's memory whatever the result. On failure *rec is left empty but for
// its error code.
u16 compile_finish(Compiler& c, PrcRecord* rec);
void compile_abandon(Compiler& c);  // releases the compile's memory
// Puts the registered run operation in hook slot 1 (procs.cpp).
void run_hook_install();

}  // namespace vx::prc::detail
