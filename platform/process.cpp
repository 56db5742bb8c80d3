// Process launch with posix_spawnp from a short-lived intermediate child: the intermediate
// reports through its exit status whether the program could be started and ends at once, so
// the program itself is adopted by the system and never becomes a zombie of ours.
#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace vx::os {

namespace {

constexpr int FIRST_INHERITED_FD = 3;  // descriptors from here on are closed in the program
constexpr int STARTED = 0, NOT_STARTED = 1;

// Runs in the intermediate child: spawn and report.
[[noreturn]] void spawn_and_exit(char* const* argv) {
    posix_spawn_file_actions_t actions;
    bool have_actions = posix_spawn_file_actions_init(&actions) == 0;
    if (have_actions) posix_spawn_file_actions_addclosefrom_np(&actions, FIRST_INHERITED_FD);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], have_actions ? &actions : nullptr, nullptr, argv, environ);
    _exit(rc == 0 ? STARTED : NOT_STARTED);
}

}  // namespace

bool process_start(const std::vector<std::string>& args) {
    if (args.empty() || args[0].empty()) return false;
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t middle = fork();
    if (middle < 0) return false;
    if (middle == 0) spawn_and_exit(argv.data());
    int status = 0;
    while (waitpid(middle, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == STARTED;
}

}  // namespace vx::os
