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

inline void expectSameExplanation(const diagnostics::explain::Explanation& expected,
                                  const diagnostics::explain::Explanation& actual,
                                  const ArtefactValueForm& form = exactly) {
    EXPECT_EQ(actual.verdict.type, expected.verdict.type);
    EXPECT_EQ(actual.verdict.name, expected.verdict.name);
    EXPECT_EQ(actual.gate, expected.gate);
    EXPECT_EQ(actual.decidedBy, expected.decidedBy);
    ASSERT_EQ(actual.detectors.size(), expected.detectors.size());
    for (size_t d = 0; d < expected.detectors.size(); ++d) {
        const auto& want = expected.detectors[d];
        const auto& got = actual.detectors[d];
        SCOPED_TRACE(want.detector);
        EXPECT_EQ(got.detector, want.detector);
        EXPECT_EQ(got.asked, want.asked);
        ASSERT_EQ(got.checks.size(), want.checks.size());
        for (size_t c = 0; c < want.checks.size(); ++c) {
            const auto& wantCheck = want.checks[c];
            const auto& gotCheck = got.checks[c];
            SCOPED_TRACE(wantCheck.check);
            EXPECT_EQ(gotCheck.check, wantCheck.check);
            EXPECT_EQ(gotCheck.sign, wantCheck.sign);
            EXPECT_EQ(gotCheck.reached, wantCheck.reached);
            EXPECT_EQ(gotCheck.decisive, wantCheck.decisive);
            ASSERT_EQ(gotCheck.evidence.size(), wantCheck.evidence.size());
            for (size_t a = 0; a < wantCheck.evidence.size(); ++a) {
                EXPECT_EQ(gotCheck.evidence[a].kind, wantCheck.evidence[a].kind);
                EXPECT_EQ(form(gotCheck.evidence[a].value), form(wantCheck.evidence[a].value))
                    << wantCheck.evidence[a].kind;
            }
        }
    }
}

}  // namespace Corvane::testing
