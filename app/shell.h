// The program shell shared by varnox and vxrun: an identity, and the start, run and stop
// of the run-time around it.
#pragma once

namespace vx::app {

struct Identity {
    const char* id;           // "VXW01Q:Varnox"; empty for the bare run-time
    const char* description;  // Windows-1252
    unsigned short flags;     // start-up flags
    unsigned short arena_kb;
};

// Registers every layer with the run-time's start-up (messages, expressions, windows, data,
// procedures).
void install_layers();

// Runs a program with the given identity and returns its exit code.
int program_main(const Identity& who, int argc, const char* const* argv);

}  // namespace vx::app
