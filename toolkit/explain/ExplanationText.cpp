#include <cstdio>
#include <sstream>

#include "toolkit/explain/ExplanationRender.h"
#include "toolkit/explain/TextWrap.h"

namespace Corvane::explain {
namespace {

std::string padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

constexpr int kCheckColumn = 34;           // wide enough for the longest check name
constexpr size_t kHeaderValueColumn = 14;  // where "Verdict:      " ends
constexpr size_t kArtefactIndent = 10;

// One line of the text; what does not fit goes on indented continuation lines.
void writeLine(std::ostream& out, const std::string& text, size_t continuationIndent) {
    out << wrapText(text, continuationIndent);
}

void writeHeader(std::ostream& out, const std::string& label, const std::string& value) {
    writeLine(out, padded(label, kHeaderValueColumn) + value, kHeaderValueColumn);
}

// Milliseconds with three decimals, right-aligned in `width` characters.
std::string milliseconds(std::chrono::nanoseconds elapsed, int width = 0) {
    char text[32];
    std::snprintf(text, sizeof text, "%*.3f ms", width, static_cast<double>(elapsed.count()) / 1e6);
    return text;
}

std::string detectorHeading(const DetectorOutcome& detector) {
    if (detector.role == DetectorRole::Gate && !detector.asked) return "No general detector: the gate stays closed";
    std::string heading = detector.detector + ": " + detector.name + " (type " + std::to_string(detector.type) + ")";
    if (detector.role == DetectorRole::Gate) {
        heading += ", the gate";
    } else if (!detector.asked) {
        heading += ", not asked by DetectVM";
    }
    return heading;
}

std::string checkMark(const DetectorOutcome& detector, const CheckOutcome& check) {
    if (check.decisive)
        return detector.role == DetectorRole::Gate ? "  <- opened the gate" : "  <- decided the verdict";
    if (detector.asked && !check.reached) return "  (not reached)";
    return "";
}

// An inherited check is listed only if, against all odds, it has something to show.
bool listed(const CheckOutcome& check) { return check.own || check.sign || check.decisive || !check.evidence.empty(); }

void writeDetector(std::ostream& out, const DetectorOutcome& detector) {
    writeLine(out, detectorHeading(detector), 2);
    int position = 0;
    size_t inherited = 0;
    for (const CheckOutcome& check : detector.checks) {
        ++position;  // the check's place in the detector's order, listed or not
        if (!check.own) ++inherited;
        if (!listed(check)) continue;
        char number[8];
        std::snprintf(number, sizeof number, "%4d  ", position);
        writeLine(out,
                  number + padded(check.check, kCheckColumn) + (check.sign ? "SIGN" : "  - ") +
                      milliseconds(check.elapsed, 9) + checkMark(detector, check),
                  kArtefactIndent);
        for (size_t i = 0; i < check.evidence.size(); ++i) {
            const Artefact& artefact = check.evidence[i];
            std::string line = std::string(kArtefactIndent, ' ') + artefact.kind + ": " + artefact.value;
            if (i < check.hostHints.size() && !check.hostHints[i].empty()) {
                line += "  (host artefact: " + check.hostHints[i] + ")";
            }
            writeLine(out, line, kArtefactIndent + 2);
        }
    }
    if (inherited > 0) {
        writeLine(out,
                  "        " + std::to_string(inherited) + (inherited == 1 ? " check" : " checks") +
                      " this detector does not have: always no, Windows is not asked",
                  kArtefactIndent);
    }
}

std::string hresult(int32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(static_cast<uint32_t>(code)));
    return text;
}

std::string processLine(const ExplanationContext& context) {
    std::string line = context.wow64 ? "32-bit under WoW64" : std::to_string(context.processBits) + "-bit";
    return line + ", " + (context.elevation.empty() ? "elevation not known" : context.elevation);
}

std::string wmiLine(const ExplanationContext& context) {
    if (!context.wmiConnected) {
        return "did not answer (" + hresult(context.wmiConnectStatus) +
               "): no WMI check could look, so their \"no\" is not a finding";
    }
    if (context.wmiFinalStatus != 0) {
        return "answered, then failed (" + hresult(context.wmiFinalStatus) +
               "): the WMI checks after the failing query could not look";
    }
    return "answered every query";
}

}  // namespace

std::string describeVerdict(const Verdict& verdict) {
    const std::string name = verdict.name.empty() ? "no product" : verdict.name;
    return name + " (type " + std::to_string(verdict.type) + ")";
}

std::string disagreementWarning(const Explanation& explanation) {
    if (explanation.agrees()) return "";
    return "WARNING: DetectVM answered " + describeVerdict(*explanation.reported) +
           ", but the checks run for this explanation give " + describeVerdict(explanation.verdict) +
           " (the machine changed between the two runs?)";
}

std::string renderText(const Explanation& explanation) {
    std::ostringstream out;
    if (!explanation.machine.empty()) writeHeader(out, "Machine:", explanation.machine);
    if (!explanation.context.source.empty()) writeHeader(out, "Replay:", explanation.context.source);
    writeHeader(out, "Process:", processLine(explanation.context));
    writeHeader(out, "WMI:", wmiLine(explanation.context));
    if (!explanation.libraryVersion.empty()) {
        writeHeader(out, "Library:", "CorvaneVMD " + explanation.libraryVersion);
    } else if (!explanation.libraryMissing.empty()) {
        writeHeader(out, "Library:", "no CorvaneVMD.dll answered: " + explanation.libraryMissing);
    }
    writeHeader(out, "Verdict:", describeVerdict(explanation.verdict));
    writeHeader(out, "Gate:",
                explanation.gate.empty() ? "closed: no general sign, so no product detector is asked"
                                         : "opened by " + explanation.gate);
    writeHeader(out, "Decided by:",
                explanation.decidedBy.empty() ? "nothing: no product detector recognised its product"
                                              : explanation.decidedBy);
    if (explanation.reported) {
        writeHeader(out, "DetectVM:",
                    describeVerdict(*explanation.reported) +
                        (explanation.reportedBy.empty() ? "" : " by " + explanation.reportedBy) +
                        (explanation.agrees() ? ", agrees" : ", DISAGREES"));
    }
    if (!explanation.agrees()) writeLine(out, disagreementWarning(explanation), 9);

    for (const DetectorOutcome& detector : explanation.detectors) {
        out << "\n";
        writeDetector(out, detector);
    }

    out << "\nAll checks took " << milliseconds(explanation.elapsed) << ".\n";
    writeLine(out,
              "DetectVM stops at the first sign: checks marked (not reached) and detectors it does not ask "
              "ran only for this explanation. A host artefact also exists on physical machines.",
              0);
    return out.str();
}

}  // namespace Corvane::explain
