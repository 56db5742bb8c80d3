// What every fuzz harness shares: a scratch folder of its own that it works in, the run-time
// started and stopped around each input as a program would (unattended, without a display,
// message boxes written to nowhere), the INPUT lines its dialogs read, a budget of loop
// passes so that a loop the languages allow to run for ever ends, and a login through the
// stand-in for the database client library (fake_pq.h).
//
// A harness is one file: LLVMFuzzerTestOneInput empties the folder, writes its files, builds
// a Session, calls the reader of its format and lets the Session go. A Session aborts (a finding) when the
// run-time leaves a memory block behind at shutdown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/str.h"

namespace vx::fuzz {

inline constexpr rt::u32 LOOP_BUDGET = 20000;   // loop passes one input may take
inline constexpr std::size_t INPUT_MAX = 1 << 16; // longer inputs are cut to this

// The input as text, cut to INPUT_MAX.
std::string_view input_text(const std::uint8_t* data, std::size_t size);
// The text split at its first line end: the first line and the rest.
std::pair<std::string_view, std::string_view> first_line(std::string_view text);
// The text cut into n parts at lines that read PART_BREAK (missing parts are empty).
inline constexpr std::string_view PART_BREAK = "====";
std::vector<std::string_view> parts(std::string_view text, std::size_t n);

// Empties the scratch folder (what the last input left there goes).
void fresh_folder();
// Writes (or replaces) a file of the scratch folder.
void put_file(const char* name, std::string_view bytes);

struct SessionOptions {
    std::vector<std::string> args;   // command-line arguments after /BATCH and /OUTPUT
    std::string input_lines;         // the INPUT file's lines; none when empty
    bool logged_in = false;          // logged in through the stand-in, tables discovered
    const char* app_id = "";         // "VXW01Q:Varnox" loads the VX dictionary files
    rt::u16 flags = 6;               // start-up flags: the dictionary step, optional
};

class Session {
public:
    explicit Session(const SessionOptions& options = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    rt::u16 start_code() const { return start_; }
    bool started() const { return start_ == 0; }

private:
    rt::u16 start_ = 0;
};

}  // namespace vx::fuzz
