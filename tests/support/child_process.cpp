#include "support/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int exitCodeOf(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

Child startChild(const ChildOptions &options, std::string *error)
{
    Child child;
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    if ((options.pipeInput && ::pipe2(in, O_CLOEXEC) != 0) || ::pipe2(out, O_CLOEXEC) != 0) {
        if (error)
            *error = std::strerror(errno);
        return child;
    }
    // Built before the fork: the child may only call what is safe there.
    std::vector<std::string> arguments = options.arguments;
    std::vector<char *> argv;
    for (auto &a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (options.pipeInput)
            ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        if (options.mergeErrors) {
            ::dup2(out[1], STDERR_FILENO);
        } else if (!options.errorFile.empty()) {
            const int err = ::open(options.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0)
                ::dup2(err, STDERR_FILENO);
        }
        for (const auto &[key, value] : options.environment)
            ::setenv(key.c_str(), value.c_str(), 1);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    const int failure = errno;
    if (options.pipeInput)
        ::close(in[0]);
    ::close(out[1]);
    if (pid < 0) {
        if (options.pipeInput)
            ::close(in[1]);
        ::close(out[0]);
        if (error)
            *error = std::strerror(failure);
        return child;
    }
    child.pid = pid;
    child.input = options.pipeInput ? in[1] : -1;
    child.output = out[0];
    return child;
}

std::optional<int> waitForChild(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (true) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return exitCodeOf(status);
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int killChild(pid_t pid, int signal)
{
    ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return exitCodeOf(status);
}
