#pragma once
// Clocks, memory figures and child processes for the benchmark.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace rasmik::bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A field of /proc/self/status in kB ("VmHWM", "VmRSS"); -1 when missing.
long long ProcStatusKb(const char* field);

// Runs argv with stdout sent to outFile ("/dev/null" or a file) and waits;
// the wall time in seconds, or -1 when it could not run or failed.
double TimeCommand(const std::vector<std::string>& argv, const std::string& outFile = "/dev/null");

// Runs argv and collects its standard output; false when it failed.
bool RunAndCapture(const std::vector<std::string>& argv, std::string& output);

double Median(std::vector<double> values);

} // namespace rasmik::bench
