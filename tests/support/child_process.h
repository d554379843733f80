#pragma once

// Starts a child process for a test, with pipes to its standard input and
// output as asked, and waits for its end. Plain C++ and POSIX, so tests with
// or without Qt can use it.

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ChildOptions {
    std::vector<std::string> arguments{}; // the program (a path, or found on PATH) first
    std::map<std::string, std::string> environment{}; // set on top of this process's own
    bool pipeInput = false; // else: standard input is inherited
    bool mergeErrors = false; // standard error into the output pipe
    std::string errorFile{}; // else: standard error to this file, if named
};

struct Child {
    pid_t pid = -1;
    int input = -1; // write end of its standard input, when piped
    int output = -1; // read end of its standard output
};

// Starts the child; pid -1 and error set when it could not be started.
Child startChild(const ChildOptions &options, std::string *error = nullptr);

// Waits up to timeout for the child to end: its exit code (-1 when a signal
// ended it), or nothing while it still runs.
std::optional<int> waitForChild(pid_t pid, std::chrono::milliseconds timeout);

// Sends the signal and waits for the end; the exit code, or -1.
int killChild(pid_t pid, int signal);
