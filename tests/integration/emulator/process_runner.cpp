#include "process_runner.h"

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
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return result;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        for (const auto &[key, value] : environment)
            ::setenv(key.c_str(), value.c_str(), 1);
        std::vector<char *> argv;
        for (const auto &a : arguments)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    std::signal(SIGPIPE, SIG_IGN);
    if (!input.empty())
        (void)!::write(in[1], input.data(), input.size());
    ::close(in[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return result;
        }
        ::usleep(10'000);
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
