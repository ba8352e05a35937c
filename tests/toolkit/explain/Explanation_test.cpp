// The explanation engine over detectors whose answers a test chooses: every
// check runs, and the verdict, the marks and the "reached" flags follow the
// detection flow's first-match rules exactly.  Then over the real detectors:
// which checks count as a detector's own, and the WMI connection as DetectVM
// leaves it for the products.  Last, the hints on artefacts that also exist on
// physical machines.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/SimulatedMachineTest.h"
#include "support/VerdictPrinter.h"
#include "toolkit/explain/Explanation.h"
#include "toolkit/explain/HostArtefacts.h"
#include "toolkit/explain/KnownDetectors.h"
#include "toolkit/explain/MachineExplanation.h"
#include "vmdetection/GeneralDetection.h"

namespace Corvane::explain {
namespace {

using diagnostics::g_evidenceSink;
using diagnostics::noteEvidence;
using utils::vmdetection::GeneralDetection;
using utils::vmdetection::VMDetectionDefault;
using utils::vmdetection::VMDetectionManager;
using utils::vmdetection::VMType;

using CallLog = std::vector<std::string>;

// A product detector whose checks find a sign exactly in the named slots,
// noting one artefact per sign, and log every call.
class FakeDetector : public VMDetectionDefault {
public:
    FakeDetector(std::string name, VMType type, std::set<std::string> signs, CallLog* calls)
        : VMDetectionDefault(std::move(name)), type_(type), signs_(std::move(signs)), calls_(calls) {}

    std::unique_ptr<VMDetectionDefault> clone() const override { return std::make_unique<FakeDetector>(*this); }
    VMType getType() const override { return type_; }

#define CORVANE_FAKE_CHECK(check) \
    bool check() override { return answer(#check); }
    CORVANE_DETECTOR_CHECKS(CORVANE_FAKE_CHECK)
#undef CORVANE_FAKE_CHECK

private:
    bool answer(const std::string& check) {
        calls_->push_back(getName() + "." + check);
        if (!signs_.count(check)) return false;
        noteEvidence("text", getName() + " " + check);
        return true;
    }

    VMType type_;
    std::set<std::string> signs_;
    CallLog* calls_;
};

// A gate that is not a GeneralDetection: asked as a whole.
class FakeGate : public VMDetectionDefault {
public:
    FakeGate(bool open, CallLog* calls) : VMDetectionDefault("Fake gate"), open_(open), calls_(calls) {}
    std::unique_ptr<VMDetectionDefault> clone() const override { return std::make_unique<FakeGate>(*this); }
    VMType getType() const override { return VMType::UnknownVM; }
    bool detect() override {
        calls_->push_back("gate.detect");
        if (open_) noteEvidence("text", "gate");
        return open_;
    }

private:
    bool open_;
    CallLog* calls_;
};

class ExplanationTest : public testing::SimulatedMachineTest {};

// Random detector sets, some without a gate or with a null product: the
// explanation's verdict is runDetection's, the checks it marks as reached are
// exactly the calls runDetection makes, in order, and each artefact stays with
// the check that noted it.
TEST_F(ExplanationTest, AgreesWithTheDetectionFlowOnRandomDetectorSets) {
    start();
    VMDetectionManager manager;  // on a machine without signs, its detectors replaced by fakes
    CallLog calls;
    std::mt19937 random(20260512);
    const auto& slots = VMDetectionDefault::checkSlots();
    const VMType types[] = {VMType::VirtualBox, VMType::VMWare, VMType::Parallels, VMType::Qemu,
                            VMType::VirtualPC,  VMType::Wine,   VMType::Xen};

    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(::testing::Message() << "round " << round);
        const bool open = random() % 4 != 0;
        const bool withGate = random() % 6 != 0;
        const size_t productCount = random() % 5;
        std::vector<std::set<std::string>> signs(productCount);
        for (auto& set : signs) {
            for (unsigned n = random() % 4; n > 0; --n) set.insert(slots[random() % slots.size()].name);
        }
        const bool withNull = random() % 5 == 0;

        auto build = [&] {
            std::vector<std::unique_ptr<VMDetectionDefault>> products;
            if (withNull) products.push_back(nullptr);
            for (size_t i = 0; i < productCount; ++i) {
                products.push_back(std::make_unique<FakeDetector>(std::string(1, static_cast<char>('A' + i)), types[i],
                                                                  signs[i], &calls));
            }
            manager.replaceDetectors(withGate ? std::make_unique<FakeGate>(open, &calls) : nullptr,
                                     std::move(products));
        };

        build();
        calls.clear();
        manager.runDetection();
        const Verdict expected{manager.resultType(), manager.resultName()};
        const CallLog flowCalls = calls;

        build();
        calls.clear();
        const Explanation explanation = explainDetection(manager);
        EXPECT_EQ(explanation.verdict, expected);
        ASSERT_EQ(explanation.detectors.size(), 1 + productCount) << "null products are left out";
        EXPECT_EQ(explanation.detectors[0].asked, withGate);

        CallLog reached;
        int decisive = 0;
        for (const DetectorOutcome& detector : explanation.detectors) {
            // A product is asked exactly when DetectVM reaches one of its checks.
            const bool anyReached = std::any_of(detector.checks.begin(), detector.checks.end(),
                                                [](const CheckOutcome& check) { return check.reached; });
            if (detector.role != DetectorRole::Gate) {
                EXPECT_EQ(detector.asked, anyReached) << detector.name;
            }
            for (const CheckOutcome& check : detector.checks) {
                if (check.reached)
                    reached.push_back(detector.role == DetectorRole::Gate ? "gate." + check.check
                                                                          : detector.name + "." + check.check);
                decisive += check.decisive;
                std::string noted;
                for (const auto& artefact : check.evidence) noted += artefact.kind + ": " + artefact.value + "\n";
                const std::string own = detector.role == DetectorRole::Gate ? "gate"
                                                                            : detector.name + " " + check.check;
                EXPECT_EQ(noted, check.sign ? "text: " + own + "\n" : "") << detector.name << "." << check.check;
            }
        }
        EXPECT_EQ(reached, flowCalls);
        EXPECT_EQ(decisive, (explanation.gate.empty() ? 0 : 1) + (explanation.decidedBy.empty() ? 0 : 1));
        EXPECT_EQ(calls.size(), (withGate ? 1 : 0) + productCount * slots.size()) << "every check runs once";
        EXPECT_EQ(g_evidenceSink, nullptr) << "a collector outlived the explanation";
    }
}

// A check is the detector's own exactly when running it asks the machine
// something, since the base class's check answers no without asking.
TEST_F(ExplanationTest, AnExplainedCheckIsTheDetectorsOwnExactlyWhenItAsksTheMachine) {
    auto& machine = start();
    VMDetectionManager manager;
    EXPECT_TRUE(knownDetector(*manager.getGeneralDetector()).has_value());
    const Explanation explanation = explainDetection(manager);

    const auto& slots = VMDetectionDefault::checkSlots();
    for (size_t d = 0; d < manager.getDetectors().size(); ++d) {
        VMDetectionDefault& detector = *manager.getDetectors()[d];
        const DetectorOutcome& outcome = explanation.detectors.at(d + 1);
        EXPECT_TRUE(knownDetector(detector).has_value()) << outcome.detector << ": a class the tools do not know";
        for (size_t i = 0; i < slots.size(); ++i) {
            machine.clearCalls();
            (detector.*slots[i].check)();
            EXPECT_EQ(outcome.checks.at(i).own, !machine.calls().empty()) << outcome.detector << "." << slots[i].name;
        }
    }
}

TEST_F(ExplanationTest, ProductDetectorsSeeTheWmiConnectionAsDetectVMLeavesIt) {
    // The gate opens at step 2; the query of step 9 would fail and drop the
    // WMI connection, and the only VirtualBox sign is read through WMI.
    profile.system.totalPhysicalMemory = 512ull << 20;
    profile.wmi.faults.execQueryByClass[L"Win32_CacheMemory"] = static_cast<int32_t>(WBEM_E_FAILED);
    profile::setWmiValue(profile, L"Win32_BaseBoard", L"Manufacturer", profile::wmiText(L"Oracle Corporation"));
    auto& machine = start();

    const Explanation explanation = explainSimulatedMachine(machine);
    ASSERT_TRUE(explanation.reported.has_value());
    EXPECT_EQ(*explanation.reported, (Verdict{4, "VirtualBox"}));
    EXPECT_EQ(explanation.verdict, (Verdict{4, "VirtualBox"}));
    EXPECT_EQ(explanation.gate, "GeneralDetection.checkMemorySize");
    EXPECT_EQ(explanation.decidedBy, "VirtualBoxDetection.checkWmiBaseBoard");
    EXPECT_TRUE(explanation.agrees());

    // Had the steps after the gate run first, the sign would have been lost.
    VMDetectionManager manager;
    auto* general = dynamic_cast<GeneralDetection*>(manager.getGeneralDetector());
    ASSERT_NE(general, nullptr);
    for (const auto& step : GeneralDetection::steps()) (general->*step.test)();
    EXPECT_FALSE(manager.getDetectors().at(0)->checkWmiBaseBoard());
}

// The hints beside artefacts that also exist on physical machines.
struct HintCase {
    const char* check;
    Artefact artefact;
    const char* adapter;
    const char* hintHolds;  // "" when no hint is expected
};

const HintCase kHints[] = {
    {"checkMacAddresses",
     {"MAC address", "00:50:56:C0:00:08"},
     "VMware Virtual Ethernet Adapter for VMnet8",
     "VMnet8: VMware Workstation's host-side"},
    {"checkMacAddresses", {"MAC address", "00:50:56:C0:00:01"}, "", "VMware's range for its host-side"},
    {"checkMacAddresses", {"MAC address", "00:50:56:12:34:56"}, "vmxnet3 Ethernet Adapter", ""},
    {"checkMacAddresses",
     {"MAC address", "0A:00:27:00:00:04"},
     "VirtualBox Host-Only Ethernet Adapter",
     "Host-Only Ethernet Adapter: VirtualBox's host-only"},
    {"checkMacAddresses", {"MAC address", "0A:00:27:00:00:0C"}, "", "VirtualBox's range for its host-only"},
    {"checkMacAddresses", {"MAC address", "08:00:27:12:34:56"}, "Intel(R) PRO/1000 MT Desktop Adapter", ""},
    {"checkMacAddresses",
     {"MAC address", "00:15:5D:01:02:03"},
     "Hyper-V Virtual Ethernet Adapter #2",
     "a Hyper-V virtual switch adapter"},
    {"checkDiskDriveHardwareIds", {"hardware ID", "SCSI\\DiskMsft____Virtual_Disk____1.0_"}, "", "VHD or VHDX mounted"},
    {"checkDiskDriveHardwareIds", {"hardware ID", "IDE\\DiskVBOX_HARDDISK___________________________1.0_____"}, "", ""},
    {"checkAcpiTables", {"ACPI enumeration", "0 bytes"}, "", "Wine lists no ACPI tables"},
    {"checkAcpiTables", {"ACPI enumeration", "3 bytes"}, "", ""},
    {"checkSlotCount", {"WMI class", "CIM_Slot"}, "", "describe no slots in their SMBIOS table; shows on "},
    {"checkPhysicalConnectorCount", {"WMI class", "CIM_PhysicalConnector"}, "", "no port connectors"},
    {"checkCacheMemoryCount", {"WMI class", "CIM_Slot"}, "", ""},
    {"checkFiles", {"file", "C:\\Windows\\System32\\drivers\\vmx86.sys"}, "", "on the host, not of a guest"},
    {"checkFiles", {"file", "C:\\Windows\\System32\\drivers\\vmhgfs.sys"}, "", ""},
};

TEST(HostArtefacts, HintsOnlyWhatAlsoExistsOnPhysicalMachines) {
    for (const HintCase& c : kHints) {
        const std::string hint = hostArtefactHint(c.check, c.artefact, c.adapter);
        SCOPED_TRACE(std::string(c.check) + " " + c.artefact.value + " -> " + hint);
        EXPECT_TRUE(*c.hintHolds ? hint.find(c.hintHolds) != std::string::npos : hint.empty());
    }
}

}  // namespace
}  // namespace Corvane::explain
