// Menu files: the input as a menu file (fz.PMT) and as a definition file that menu lines are
// generated from (fy.PPN); each menu is built into a sink that keeps nothing, and the task
// line of every entry is read back and parsed.
#include "runtime/arena.h"
#include "runtime/menu.h"
#include "runtime/tasks.h"
#include "support.h"

using namespace vx;

namespace {

void build(rt::Str name) {
    rt::MenuSink sink;
    sink.open = [](void*, rt::Str) {};
    sink.entry = [](void*, rt::u16, rt::Str) {};
    sink.close = [](void*) {};
    rt::u16 entries = 0;
    rt::TmpScope scope;
    if (rt::menu_load(name, sink, &entries)) return;
    for (rt::u16 k = 0; k < entries; k++) {
        rt::TmpScope entry;
        rt::task_parse(rt::menu_task(rt::u16(rt::MENU_FIRST_ID + k)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::input_text(data, size);
    fuzz::fresh_folder();
    fuzz::put_file("fz.PMT", text);
    fuzz::put_file("fy.PPN", text);
    fuzz::Session session;
    if (!session.started()) return 0;
    build(rt::S("fz"));
    build(rt::S("fy"));
    return 0;
}
