#pragma once

// Runs the quorvel-train program in a folder and collects what it printed.
#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace quorvel::testing {

struct TrainerOutcome {
    int status = -1; // the exit status, -1 when killed by a signal
    std::string out;
    std::string err;
};

// `arguments` go to the shell as they stand, so they may hold quotes and redirections;
// `before` stands in front of the program (a pipe into it, a limit, a timeout).
inline TrainerOutcome runTrainer(const std::filesystem::path& dir, const std::string& arguments,
                                 const std::string& before = "") {
    const std::string command = "cd '" + dir.string() + "' && " + before + "'" +
                                QUORVEL_TRAIN_PATH + "' " + arguments + " >out.txt 2>err.txt";
    TrainerOutcome r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(dir / "out.txt");
    r.err = readFile(dir / "err.txt");
    return r;
}

} // namespace quorvel::testing
