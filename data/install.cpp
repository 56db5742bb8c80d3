// Start-up and shutdown of the data layer.
#include "data/install.h"

#include "data/datafile.h"
#include "data/schema.h"
#include "data/sql.h"
#include "runtime/startup.h"

namespace vx::data {

void data_install() {
    rt::runtime_services().data_free = data_free;
    datafile_install();
}

void data_free() {
    datafile_free();
    sql_release_all();
    schema_clear();
}

}  // namespace vx::data
