// The command line: each line of the input is one argument after the program's name (the
// harness puts /BATCH and /OUTPUT first, so that nothing waits for a person); the run-time
// starts with it and runs what it names (RUN, INPUT, the menu of APSTART), as vxrun does.
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/startup.h"
#include "support.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::SessionOptions options;
    for (std::string_view rest = fuzz::input_text(data, size); !rest.empty();) {
        auto [line, next] = fuzz::first_line(rest);
        options.args.emplace_back(line);
        rest = next;
    }
    fuzz::fresh_folder();
    fuzz::put_file("lines.txt", "ExpEval A=1\r\nExpEval A+1\r\n");
    fuzz::Session session(options);
    if (!session.started()) return 0;
    rt::TmpScope scope;
    rt::runtime_run(rt::cmd_key(rt::KEY_APSTART));
    return 0;
}
