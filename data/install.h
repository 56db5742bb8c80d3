// The data layer's part in start-up and shutdown: data_install() registers the data-file
// functions of expressions and data_free, which the run-time calls at shutdown before the
// variable layer is released. Call it once before runtime_start.
#pragma once

namespace vx::data {

void data_install();
// Closes every data file, finishes every connection, releases every result and forgets the
// column facts of schema discovery.
void data_free();

}  // namespace vx::data
