#include "bench/Statistics.h"

#include <algorithm>
#include <numeric>

namespace corvane_bench {

double percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    const double rank = fraction * static_cast<double>(sorted.size() - 1);
    const auto lower = static_cast<size_t>(rank);
    const size_t upper = std::min(lower + 1, sorted.size() - 1);
    const double weight = rank - static_cast<double>(lower);
    return sorted[lower] + (sorted[upper] - sorted[lower]) * weight;
}

Summary summarize(std::vector<double> samples) {
    Summary summary;
    if (samples.empty()) return summary;
    std::sort(samples.begin(), samples.end());
    summary.count = samples.size();
    summary.min = samples.front();
    summary.max = samples.back();
    summary.p10 = percentile(samples, 0.10);
    summary.median = percentile(samples, 0.50);
    summary.p90 = percentile(samples, 0.90);
    summary.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
    return summary;
}

nlohmann::json toJson(const Summary& summary) {
    return {{"count", summary.count}, {"min", summary.min}, {"p10", summary.p10},  {"median", summary.median},
            {"p90", summary.p90},     {"max", summary.max}, {"mean", summary.mean}};
}

}  // namespace corvane_bench
