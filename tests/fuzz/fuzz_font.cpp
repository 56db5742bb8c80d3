// The font file: the input as KVFONT.PPN, read at start-up; every line taken apart; then the
// FontSet task, whose selection box reads "2" from the INPUT lines, writes it back.
#include "runtime/arena.h"
#include "runtime/fonts.h"
#include "runtime/tasks.h"
#include "support.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::input_text(data, size);
    fuzz::fresh_folder();
    fuzz::put_file(rt::FONT_FILE, text);
    fuzz::SessionOptions options;
    options.input_lines = "2\n";
    fuzz::Session session(options);
    if (!session.started()) return 0;
    for (std::string_view rest = text; !rest.empty();) {
        auto [line, next] = fuzz::first_line(rest);
        rt::FontSpec font;
        rt::font_parse(rt::Str{line.data(), rt::u16(line.size())}, &font);
        rest = next;
    }
    rt::TmpScope scope;
    rt::task_run(rt::S("FontSet"), rt::task_default_handler);
    return 0;
}
