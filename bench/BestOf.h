#pragma once
// The best of several timed runs, for the benchmarks that time one call
// again and again on a busy machine.

#include <algorithm>
#include <chrono>

namespace rasmik::bench {

inline double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <typename F>
double BestOf(int runs, F&& f)
{
    double b = 1e9;
    for (int i = 0; i < runs; ++i) {
        const double t = Seconds();
        f();
        b = std::min(b, Seconds() - t);
    }
    return b;
}

} // namespace rasmik::bench
