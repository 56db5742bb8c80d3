// The shared part of the fuzz harnesses: the scratch folder, the run-time's start and stop
// around each input, and the login through the stand-in for the client library.
#include "support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/shell.h"
#include "data/sql.h"
#include "expr/eval.h"
#include "fake_pq.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/loop.h"
#include "runtime/startup.h"

namespace fs = std::filesystem;

namespace vx::fuzz {

namespace {

constexpr const char* PROGRAM = "vxfuzz";
constexpr const char* INPUT_FILE = "in.txt";

struct Process {
    fs::path folder;
    bool ready = false;
};

Process process;

void remove_folder() {
    std::error_code ec;
    if (!process.folder.empty()) fs::remove_all(process.folder, ec);
}

// Once per process: a scratch folder that is the current folder from then on, no display
// (Qt on its offscreen platform), and every layer registered with start-up.
void prepare_process() {
    if (process.ready) return;
    process.ready = true;
    std::string pattern = (fs::temp_directory_path() / "vxfuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    process.folder = pattern;
    fs::current_path(process.folder);
    std::atexit(remove_folder);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app::install_layers();
}

std::vector<const char*> argument_vector(const SessionOptions& o, std::vector<std::string>& keep) {
    keep = {PROGRAM, "/BATCH", "/OUTPUT=/dev/null"};
    if (!o.input_lines.empty()) keep.push_back(std::string("/INPUT=") + INPUT_FILE);
    keep.insert(keep.end(), o.args.begin(), o.args.end());
    std::vector<const char*> argv;
    for (const std::string& a : keep) argv.push_back(a.c_str());
    return argv;
}

rt::u16 log_in() {
    rt::TmpScope scope;
    return data::sql_connect(rt::str_from_cstr(FAKE_HOST), rt::str_from_cstr(FAKE_DATABASE),
                             rt::str_from_cstr(FAKE_USER), rt::str_from_cstr(FAKE_PASSWORD),
                             data::LOGIN_FIELDS);
}

}  // namespace

std::string_view input_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size < INPUT_MAX ? size : INPUT_MAX};
}

std::pair<std::string_view, std::string_view> first_line(std::string_view text) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return {text, {}};
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return {line, text.substr(end + 1)};
}

std::vector<std::string_view> parts(std::string_view text, std::size_t n) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < n) {
        std::size_t at = 0, cut = std::string_view::npos;
        while (at <= text.size()) {
            std::size_t end = text.find('\n', at);
            std::string_view line = text.substr(at, end == std::string_view::npos ? end : end - at);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line == PART_BREAK) {
                cut = at;
                at = end == std::string_view::npos ? text.size() : end + 1;
                break;
            }
            if (end == std::string_view::npos) break;
            at = end + 1;
        }
        if (cut == std::string_view::npos) break;
        out.push_back(text.substr(0, cut));
        text = text.substr(at);
    }
    out.push_back(text);
    while (out.size() < n) out.push_back({});
    return out;
}

void fresh_folder() {
    prepare_process();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(process.folder, ec)) fs::remove_all(entry.path(), ec);
}

void put_file(const char* name, std::string_view bytes) {
    prepare_process();
    std::ofstream(process.folder / name, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

Session::Session(const SessionOptions& o) {
    prepare_process();
    fs::current_path(process.folder);
    if (!o.input_lines.empty()) put_file(INPUT_FILE, o.input_lines);
    std::vector<std::string> keep;
    std::vector<const char*> argv = argument_vector(o, keep);
    expr::eval_cache_clear();
    rt::mem_set_arena_size(512);
    start_ = rt::runtime_start_args(nullptr, int(argv.size()), argv.data(), rt::str_from_cstr(o.app_id),
                                    rt::str_empty(), o.flags, nullptr);
    if (start_ == 0 && o.logged_in && log_in()) std::abort();   // the stand-in takes this login
    rt::loop_budget_set(LOOP_BUDGET);
}

Session::~Session() {
    rt::loop_budget_set(0);
    // A program whose start-up failed ends at once; here the run-time is stopped all the same,
    // so that the next input finds nothing of this one.
    if (rt::runtime_started()) rt::runtime_stop(nullptr, 0);
    // A block that nobody released keeps the memory layer up: the run-time leaked it.
    if (rt::mem_ready()) {
        std::fprintf(stderr, "vxfuzz: a memory block of the run-time was not released\n");
        std::abort();
    }
    fs::current_path(process.folder);
}

}  // namespace vx::fuzz
