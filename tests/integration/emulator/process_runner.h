#pragma once

// Runs a command line tool (tsql, sqlemu with a bad command line) to its end,
// feeding it standard input and collecting what it printed.

#include <map>
#include <string>
#include <vector>

struct ProcessResult {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

ProcessResult runProcess(const std::vector<std::string> &arguments, const std::string &input = {},
                         const std::map<std::string, std::string> &environment = {}, int timeoutSeconds = 30);

// tsql with the given arguments and a script of batches, each ended by "go".
ProcessResult runTsql(const std::vector<std::string> &arguments, const std::vector<std::string> &batches,
                      const std::map<std::string, std::string> &environment = {});
