#pragma once
// The entries the log writers of the concurrency tests write: each names its
// writer and carries a long detail, so that a torn or mixed line shows.

#include <string>

namespace Corvane::testing {

inline std::string logMessage(const std::string& tag, int thread, int entry) {
    return "reliability " + tag + " thread " + std::to_string(thread) + " entry " + std::to_string(entry);
}

// 200 characters that depend on the writer and the entry.
inline std::string logPayload(const std::string& tag, int thread, int entry) {
    std::string payload;
    const std::string unit = tag + std::to_string(thread) + "-" + std::to_string(entry) + ";";
    while (payload.size() < 200) payload += unit;
    payload.resize(200);
    return payload;
}

}  // namespace Corvane::testing
