// What the programs answer to --help (also -h and /?) and --version before the run-time
// starts: the usage text, in the language the command line or VARNOX_LANG asks for (Spanish
// unless English is asked for), and the version.
#pragma once

#include <string>

namespace vx::app {

enum class Asked { Nothing, Usage, Version };

// What the arguments ask for: an argument that is exactly --help, -help, /help, -h, /h,
// -?, /? (any case) asks for the usage; --version, -version or /version for the version.
Asked usage_asked(int argc, const char* const* argv);

// True when the arguments or the environment variable VARNOX_LANG ask for English (the LANG
// key, written as the command line allows: /LANG=EN, --lang=en, LANG:EN).
bool usage_english(int argc, const char* const* argv);

// The usage text of a program (viewer: varnox, with its login keys; else vxrun), UTF-8.
std::string usage_text(bool viewer, bool english);
// "<program> <version>" and a line break.
std::string version_text(bool viewer);

// Writes the usage or the version to standard output when the arguments ask for it: true
// then, and the program ends with exit code 0.
bool usage_answer(bool viewer, int argc, const char* const* argv);

}  // namespace vx::app
