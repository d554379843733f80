#include "support/process_usage.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

std::size_t processStatusBytes(pid_t pid, const std::string &field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const std::string prefix = field + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(prefix, 0) == 0)
            return std::stoull(line.substr(prefix.size())) * 1024;
    }
    return 0;
}

double processStatusMegabytes(pid_t pid, const std::string &field)
{
    return static_cast<double>(processStatusBytes(pid, field)) / (1024.0 * 1024.0);
}

ProcessCpuTime processCpuTime(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    ProcessCpuTime time;
    const auto closing = text.rfind(')');
    if (closing == std::string::npos)
        return time;
    // Fields 14 and 15 (utime, stime), counted after the command name, which
    // may hold blanks.
    std::istringstream fields(text.substr(closing + 2));
    std::string field;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            time.user = std::stod(field) / tick;
        if (i == 15)
            time.system = std::stod(field) / tick;
    }
    return time;
}
