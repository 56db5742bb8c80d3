// The status-bar text of run-time windows: the given text (or the application's
// description), today's date, the database and the data folder, and the maker's address.
#pragma once

#include "runtime/str.h"

namespace vx::scr {

// The maker's address; the build sets the default (VX_MAKER_SITE).
void maker_site_set(rt::Str site);
rt::Str maker_site();

// " text  |  date  |  database folder |  site  " in the arena.
rt::Str status_text(rt::Str given);

}  // namespace vx::scr
