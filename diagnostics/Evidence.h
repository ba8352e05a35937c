#pragma once
// Evidence: the artefacts behind a sign, for tools that explain a verdict.
//
// A check that finds a sign names what it found (the registry key, the
// process, the pattern and its offset, ...).  Nobody listens during a plain
// detection, and then noting costs one pointer test.

#include <string>
#include <string_view>
#include <vector>

namespace Corvane::diagnostics {

struct Artefact {
    std::string kind;   // "registry key", "process", "pattern", "offset", "WMI value", ...
    std::string value;  // UTF-8
};

class EvidenceSink {
public:
    virtual ~EvidenceSink() = default;
    virtual void add(Artefact artefact) = 0;
};

inline EvidenceSink* g_evidenceSink = nullptr;

void noteEvidenceSlow(std::string_view kind, std::string_view value);
void noteEvidenceSlow(std::string_view kind, std::wstring_view value);

inline void noteEvidence(std::string_view kind, std::string_view value) {
    if (g_evidenceSink) noteEvidenceSlow(kind, value);
}
inline void noteEvidence(std::string_view kind, std::wstring_view value) {
    if (g_evidenceSink) noteEvidenceSlow(kind, value);
}
inline bool evidenceWanted() { return g_evidenceSink != nullptr; }

// Collects the artefacts noted while it lives.
class EvidenceCollector : public EvidenceSink {
public:
    EvidenceCollector() : previous_(g_evidenceSink) { g_evidenceSink = this; }
    ~EvidenceCollector() override { g_evidenceSink = previous_; }
    EvidenceCollector(const EvidenceCollector&) = delete;
    EvidenceCollector& operator=(const EvidenceCollector&) = delete;

    void add(Artefact artefact) override { artefacts_.push_back(std::move(artefact)); }
    const std::vector<Artefact>& artefacts() const { return artefacts_; }
    void clear() { artefacts_.clear(); }

private:
    EvidenceSink* previous_;
    std::vector<Artefact> artefacts_;
};

}  // namespace Corvane::diagnostics
