// The built-in Spanish message catalog: four blocks of entries "NNNN text" separated by tabs
// (a tab inside a quoted part belongs to the text). Read through msg_text (msg.h).
#pragma once

#include "runtime/str.h"

namespace vx::rt {

inline constexpr u16 MSGCAT_BLOCKS = 4;
// First identifier of blocks 2, 3 and 4; block 1 starts at 1.
inline constexpr u16 MSGCAT_BLOCK_START[MSGCAT_BLOCKS] = {1, 40, 89, 1001};

Str msgcat_block(u16 index);  // 0-based; empty past the last block

}  // namespace vx::rt
