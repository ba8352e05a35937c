#pragma once
// Wall-clock intervals from the performance counter.

#include <windows.h>

namespace corvane_bench {

class Stopwatch {
public:
    Stopwatch() { restart(); }
    void restart() { QueryPerformanceCounter(&start_); }
    double elapsedMicroseconds() const {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER start_;
};

}  // namespace corvane_bench
