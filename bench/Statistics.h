#pragma once
// Summaries of repeated measurements: the median and the spread around it.

#include <cstddef>
#include <vector>

#include <nlohmann/json.hpp>

namespace corvane_bench {

struct Summary {
    size_t count = 0;
    double min = 0, p10 = 0, median = 0, p90 = 0, max = 0, mean = 0;
};

// Percentiles by linear interpolation between the closest ranks.
Summary summarize(std::vector<double> samples);
double percentile(const std::vector<double>& sorted, double fraction);

nlohmann::json toJson(const Summary& summary);

}  // namespace corvane_bench
