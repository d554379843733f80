#pragma once

// What a running process has used, read from /proc: for benchmarks that
// report a server's memory and processor time beside their own figures.

#include <cstddef>
#include <string>
#include <sys/types.h>

// A "Vm..." line of /proc/PID/status (VmHWM, VmRSS, VmSize, ...) in bytes,
// or in megabytes; 0 when the process or the line is not there.
std::size_t processStatusBytes(pid_t pid, const std::string &field);
double processStatusMegabytes(pid_t pid, const std::string &field);

// Processor time the process has used, in seconds: in its own code, and in
// the system on its behalf.
struct ProcessCpuTime {
    double user = 0;
    double system = 0;
};
ProcessCpuTime processCpuTime(pid_t pid);
