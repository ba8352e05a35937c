#include "toolkit/capture/CaptureMachine.h"

#include <ctime>
#include <string>

#include "toolkit/explain/Explanation.h"
#include "toolkit/capture/MachineRecorder.h"
#include "vmdetection/GeneralDetection.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::capture {
namespace {

using utils::vmdetection::GeneralDetection;
using utils::vmdetection::VMDetectionDefault;
using utils::vmdetection::VMDetectionManager;

std::string computerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return "an unnamed computer";
    std::string narrow;
    for (DWORD i = 0; i < size; ++i) narrow += name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
    return narrow;
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_s(&parts, &now);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

// Each check and step on a connection of its own: after a failed query the
// library drops its WMI connection, and the checks after it would otherwise
// never show what they read on a machine where nothing failed before them.
void runEachCheckAlone() {
    for (size_t step = 0; step < GeneralDetection::kStepCount; ++step) {
        VMDetectionManager manager;
        if (auto* general = dynamic_cast<GeneralDetection*>(manager.getGeneralDetector())) {
            (general->*GeneralDetection::steps()[step].test)();
        }
    }
    const size_t detectorCount = utils::vmdetection::makeProductDetectors(nullptr).size();
    for (size_t detector = 0; detector < detectorCount; ++detector) {
        for (const VMDetectionDefault::CheckSlot& slot : VMDetectionDefault::checkSlots()) {
            VMDetectionManager manager;
            if (VMDetectionDefault* product = manager.getDetectors()[detector].get()) (product->*slot.check)();
        }
    }
}

}  // namespace

profile::MachineProfile captureMachine(const platform::Win32Api& machine) {
    MachineRecorder recorder(machine);
    {
        auto binding = recorder.bind();
        {
            // What a host's first DetectVM asks, in its order: COM start-up included.
            VMDetectionManager manager;
            manager.runDetection();
        }
        {
            VMDetectionManager manager;
            explain::explainDetection(manager);
        }
        if (recorder.wmiConnectionLost()) runEachCheckAlone();
    }

    profile::MachineProfile captured = recorder.takeProfile();
    const std::string computer = computerName();
    captured.description = "Machine " + computer + " as corvane-vmd captured it";
    captured.source = "captured by corvane-vmd capture on " + computer + " at " + utcNow();
    return captured;
}

}  // namespace Corvane::capture
