#pragma once
// What /proc says of a process, for the benchmarks.

#include <sys/types.h>

#include <cstdlib>
#include <fstream>
#include <string>

// The resident memory of process pid in kibibytes, or 0 when it is gone.
inline long residentKiB(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0; // gone, or a zombie
}
