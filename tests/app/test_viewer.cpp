// The viewer's own rules that need no server: the working folder made from host and database
// names, and which task types its handler serves.
#include "app/viewer.h"
#include "runtime/tasks.h"
#include "support/fixtures.h"

using namespace vx::app;
using namespace vx::rt;
using vx::test::text;

namespace {

class Viewer : public vx::test::MemTest {};

std::string folder(const char* host, const char* db) {
    TmpScope scope;
    return text(viewer_work_folder(str_from_cstr(host), str_from_cstr(db)));
}

u32 request(u16 type, u16 status = 0) { return (u32(type) << 16) | status; }

}  // namespace

TEST_F(Viewer, TheWorkingFolderNeverLeadsElsewhere) {
    EXPECT_EQ(folder("127.0.0.1", "ventas"), "127.0.0.1/ventas/datas");
    EXPECT_EQ(folder("/var/run/postgresql", "x"), "_var_run_postgresql/x/datas") << "a socket folder is one name";
    EXPECT_EQ(folder("..", ".."), "_../_../datas");
    EXPECT_EQ(folder("a\\..\\b", "c/../../d"), "a_.._b/c_.._.._d/datas");
    EXPECT_EQ(folder("", "solo"), "_/solo/datas");
}

TEST_F(Viewer, OnlyReportAndHelpAreServed) {
    EXPECT_EQ(viewer_task(request(TASK_MANTAUX), S("0")), 0) << "other known types do nothing";
    EXPECT_EQ(viewer_task(request(TASK_COPY), S("1")), 0);
    EXPECT_EQ(viewer_task(request(0, 163), S("")), 163) << "an unknown type name is reported";
    EXPECT_EQ(viewer_task(request(TASK_REPORT), S("a,b,c")), 163) << "three items";
    error_clear();
}
