// Integer system variables by slot. The run-time reads and writes them by slot number;
// the variable layer gives them their names (in this order) so that procedures see the same
// values. Until a variable store is registered they live in a table of their own.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

enum SysVar : u16 {
    SV_AUXSTAT, SV_RELRES, SV_CURFIL, SV_CUREDFLD, SV_DEVHIG, SV_DEVWID, SV_DEVLIN, SV_DEVPOS,
    SV_DEVPAG, SV_CURROW, SV_STAT, SV_LASTKEY, SV_SGN, SV_UPSTAT, SV_IER, SV_SYSCOMPAT,
    SV_SQLSTK, SV_COUNT, SV_HCOUNT, SV_ADMSTAT, SV_COMPAT, SV_SCRSTAT, SV_LMAX, SV_LNUM,
    SV_LLST, SV_HNUM, SV_SAFE, SV_LB, SV_AUX, SV_KEYMAP, SV_SERIAL, SV_TRACE, SV_PRECIS,
    SV_BYEAR, SV_BKYEAR, SV_DX, SV_INHND, SV_OUTHND, SV_DATE, SV_DOCST, SV_WMAXROW, SV_USER01,
    SV_USER02, SV_USER03,
    SV_COUNT_ALL
};

// The declaration list: names in slot order, with their defaults.
inline constexpr const char* SYSVAR_DECL =
    "_AUXSTAT,_RELRES,_CURFIL,_CUREDFLD,_DEVHIG=24,_DEVWID=80,_DEVLIN,_DEVPOS,_DEVPAG,_CURROW,"
    "_STAT,_LASTKEY=4,_SGN,_UPSTAT=1,_IER,_SYSCOMPAT,_SQLSTK,_COUNT,_HCOUNT,_ADMSTAT,_COMPAT,"
    "_SCRSTAT,_LMAX,_LNUM,_LLST,_HNUM,_SAFE,_LB=128,_AUX,_KEYMAP,_SERIAL,_TRACE=1,_PRECIS=2,"
    "_BYEAR=2000,_BKYEAR=80,_DX,_INHND,_OUTHND,_DATE,_DOCST,_WMAXROW,_USER01,_USER02,_USER03";

i16 sysint_get(u16 slot);
void sysint_set(u16 slot, i16 value);
inline bool sysint_bit(u16 slot, u16 bit) { return (u16(sysint_get(slot)) & bit) != 0; }
void sysint_or(u16 slot, u16 bits);
void sysint_reset();                    // every slot back to its default

// A variable layer that keeps the values itself registers its accessors here.
struct SysIntStore {
    i16 (*get)(u16 slot);
    void (*set)(u16 slot, i16 value);
};
void sysint_store_set(const SysIntStore* store);  // null: back to the table of its own

}  // namespace vx::rt
