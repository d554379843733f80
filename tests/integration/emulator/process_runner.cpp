#include "process_runner.h"

#include "support/child_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

ProcessResult runProcess(const std::vector<std::string> &arguments, const std::string &input,
                         const std::map<std::string, std::string> &environment, int timeoutSeconds)
{
    ProcessResult result;
    const Child child
        = startChild({.arguments = arguments, .environment = environment, .pipeInput = true, .mergeErrors = true});
    if (child.pid < 0)
        return result;
    const pid_t pid = child.pid;
    std::signal(SIGPIPE, SIG_IGN);
    if (!input.empty())
        (void)!::write(child.input, input.data(), input.size());
    ::close(child.input);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{child.output, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        ssize_t n = ::read(child.output, buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(child.output);
    const auto left
        = std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero());
    const std::optional<int> code = waitForChild(pid, std::chrono::duration_cast<std::chrono::milliseconds>(left));
    if (!code) {
        killChild(pid, SIGKILL);
        return result;
    }
    result.exitCode = *code;
    return result;
}

ProcessResult runTsql(const std::vector<std::string> &arguments, const std::vector<std::string> &batches,
                      const std::map<std::string, std::string> &environment)
{
    std::vector<std::string> command = {"tsql"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::string script;
    for (const auto &batch : batches)
        script += batch + "\ngo\n";
    script += "exit\n";
    return runProcess(command, script, environment);
}
