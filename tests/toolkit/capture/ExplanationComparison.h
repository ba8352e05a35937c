#pragma once
// Two explanations of the same machine compared check by check: the verdict,
// the gate, the deciding check, and for every check its sign, whether
// DetectVM reaches it, and the artefacts it noted.  Times are never compared.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "toolkit/explain/Explanation.h"
#include "toolkit/capture/Redaction.h"

namespace Corvane::testing {

// How artefact values are compared: exactly, or through a normalisation.
using ArtefactValueForm = std::function<std::string(const std::string&)>;

inline std::string exactly(const std::string& value) { return value; }

// What redaction cannot change in a value: the words checks look for, the
// punctuation and the length.  Every other letter or digit reads '#'.
inline std::string redactedShape(const std::string& value) {
    const std::wstring redacted = capture::redactText(std::wstring(value.begin(), value.end()));
    std::string shape;
    for (wchar_t c : redacted) {
        shape += (c == L'X' || c == L'x' || c == L'0' || c == L'1') ? '#' : static_cast<char>(c);
    }
    return shape;
}

// One line for the verdict and one for each check, its artefacts' values in `form`.
inline std::string comparableFacts(const explain::Explanation& explanation, const ArtefactValueForm& form) {
    std::string text = std::to_string(explanation.verdict.type) + " " + explanation.verdict.name + ", gate " +
                       explanation.gate + ", decided by " + explanation.decidedBy + "\n";
    for (const auto& detector : explanation.detectors) {
        for (const auto& check : detector.checks) {
            text += detector.detector + (detector.asked ? " (asked)." : ".") + check.check +
                    (check.sign ? " sign" : "") + (check.reached ? " reached" : "") +
                    (check.decisive ? " decisive" : "");
            for (const auto& artefact : check.evidence)
                text += " [" + artefact.kind + ": " + form(artefact.value) + "]";
            text += "\n";
        }
        if (detector.checks.empty()) text += detector.detector + (detector.asked ? " (asked)\n" : "\n");
    }
    return text;
}

inline void expectSameExplanation(const explain::Explanation& expected, const explain::Explanation& actual,
                                  const ArtefactValueForm& form = exactly) {
    EXPECT_EQ(comparableFacts(actual, form), comparableFacts(expected, form));
}

}  // namespace Corvane::testing
