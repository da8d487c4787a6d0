#pragma once
// Resident memory of this process, for the benchmarks that watch it grow.

#include <cstdlib>
#include <fstream>
#include <string>

namespace quellon::bench {

inline double residentMB() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

}  // namespace quellon::bench
