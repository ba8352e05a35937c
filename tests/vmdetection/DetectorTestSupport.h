#pragma once
// Small helpers shared by the product detectors' tests.

#include <string>

#include "diagnostics/Evidence.h"
#include "platform/SystemProbes.h"

namespace Corvane::testing {

// The noted artefacts as "kind: value" lines, for readable assertions.
inline std::string evidenceText(const diagnostics::EvidenceCollector& evidence) {
    std::string text;
    for (const auto& artefact : evidence.artefacts()) text += artefact.kind + ": " + artefact.value + "\n";
    return text;
}

// The WoW64 answer is cached for the process; a test that simulates a 32-bit
// process on 64-bit Windows needs it asked afresh, and must not leave it behind.
class FreshWow64Answer {
public:
    FreshWow64Answer() { platform::forgetWow64Answer(); }
    ~FreshWow64Answer() { platform::forgetWow64Answer(); }
    FreshWow64Answer(const FreshWow64Answer&) = delete;
    FreshWow64Answer& operator=(const FreshWow64Answer&) = delete;
};

}  // namespace Corvane::testing
