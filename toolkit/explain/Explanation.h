#pragma once
// Why a detection ends the way it does: every check of every detector, run in
// the order the detection flow asks them but without stopping at the first
// sign, with the artefacts behind each sign and the time each check took.
//
// The verdict is worked out under the same first-match rules as
// VMDetectionManager::runDetection: the first general step that shows a sign
// opens the gate, then the first product detector whose first check (in slot
// order) shows a sign wins.  Product detectors are asked through
// VMDetectionDefault::checkSlots() and the general steps through
// GeneralDetection::steps(), the tables detect() itself walks.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/Evidence.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::explain {

using diagnostics::Artefact;  // what a check noted, as the library hands it over

struct CheckOutcome {
    std::string check;                   // "checkRegistryKeys", "checkMemorySize", ...
    bool sign = false;                   // the check found a sign of its product (of a VM, for the gate)
    bool reached = false;                // DetectVM's own walk asks this check
    bool decisive = false;               // it opened the gate, or it decided the verdict
    bool own = true;                     // false: the detector inherits the base class's check, which
                                         // always says no without asking Windows
    std::vector<Artefact> evidence;      // what the check noted while it ran
    std::vector<std::string> hostHints;  // one per evidence entry: "" or why that artefact also
                                         // exists on physical machines (HostArtefacts.h)
    std::chrono::nanoseconds elapsed{0};
};

enum class DetectorRole { Gate, Product };

struct DetectorOutcome {
    std::string detector;  // its class's kIdentifier: "GeneralDetection", "VirtualPCDetection", ...; "" for no gate
    std::string name;      // its getName(): "Unknown Virtual Machine", "Hyper-V", ...
    int32_t type = 0;      // its getType() code
    DetectorRole role = DetectorRole::Product;
    bool asked = false;                // DetectVM asks this detector at all
    std::vector<CheckOutcome> checks;  // in the order the detector's own detect() asks them

    bool showsSign() const;
};

struct Verdict {
    int32_t type = 1;  // VMType code; 1 (None) when no product is recognised
    std::string name;  // "" when no product is recognised

    bool recognised() const { return !name.empty(); }
    friend bool operator==(const Verdict&, const Verdict&) = default;
};

// What a reader needs to tell "no sign" from "could not look".
struct ExplanationContext {
    std::string source;                   // "" for this machine; for a replay, what the profile is
    int processBits = 8 * sizeof(void*);  // the explaining process's own bitness
    bool wow64 = false;                   // it runs under WoW64 (as the machine answers)
    std::string elevation;                // "elevated", "not elevated", or why it is not known
    bool wmiConnected = false;            // the manager's WMI connection came up
    int32_t wmiConnectStatus = 0;         // its HRESULT when it did not
    int32_t wmiFinalStatus = 0;           // a failing HRESULT a query left behind, which stops
                                          // every later WMI check of the same detection
};

struct Explanation {
    Verdict verdict;        // what the first-match rules give
    std::string gate;       // "GeneralDetection.<step>" that opened the gate; "" when it stayed closed
    std::string decidedBy;  // "<DetectorClass>.<check>" that decided ("VMWareDetection.checkMacAddresses");
                            // "" when no product was recognised
    std::vector<DetectorOutcome> detectors;  // the gate first, then the products in the manager's order
    std::chrono::nanoseconds elapsed{0};

    // Filled in by whoever also asked the library itself.
    std::optional<Verdict> reported;  // what DetectVM answered
    std::string libraryVersion;       // GetLibVersion of the DLL that answered; "" when none did
    std::string libraryMissing;       // why no DLL answered, when the caller tried one
    std::string reportedBy;           // who ran the detection flow for `reported` when it was
                                      // not the DLL (a replay: the tool's own copy of the library)
    std::string machine;              // what was examined: "this machine", a profile's description, ...
    ExplanationContext context;

    // True unless DetectVM was asked and answered something else.
    bool agrees() const { return !reported || *reported == verdict; }
};

// Runs every check of the manager's detectors and works out the verdict.
// The general steps after the one that opened the gate run last, after the
// product detectors, so that the product detectors find the machine (and the
// shared WMI connection) exactly as DetectVM leaves it for them; they are
// still listed in their own order.  A general detector that is not a
// GeneralDetection is asked as a whole, as one step named "detect".
Explanation explainDetection(utils::vmdetection::VMDetectionManager& manager);

}  // namespace Corvane::explain
