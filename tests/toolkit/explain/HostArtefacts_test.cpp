// What the explanation adds beside the checks: hints on artefacts that also
// exist on physical machines, and which checks a detector has itself.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "toolkit/explain/CheckOwnership.h"
#include "toolkit/explain/HostArtefacts.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::explain {
namespace {

struct HintCase {
    const char* check;
    Artefact artefact;
    const char* adapter;
    const char* hintHolds;  // "" when no hint is expected
};

const HintCase kHints[] = {
    {"checkMacAddresses", {"MAC address", "00:50:56:C0:00:08"}, "VMware Virtual Ethernet Adapter for VMnet8", "VMnet8: VMware Workstation's host-side"},
    {"checkMacAddresses", {"MAC address", "00:50:56:C0:00:01"}, "", "VMware's range for its host-side"},
    {"checkMacAddresses", {"MAC address", "00:50:56:12:34:56"}, "vmxnet3 Ethernet Adapter", ""},
    {"checkMacAddresses", {"MAC address", "0A:00:27:00:00:04"}, "VirtualBox Host-Only Ethernet Adapter", "Host-Only Ethernet Adapter: VirtualBox's host-only"},
    {"checkMacAddresses", {"MAC address", "0A:00:27:00:00:0C"}, "", "VirtualBox's range for its host-only"},
    {"checkMacAddresses", {"MAC address", "08:00:27:12:34:56"}, "Intel(R) PRO/1000 MT Desktop Adapter", ""},
    {"checkMacAddresses", {"MAC address", "00:15:5D:01:02:03"}, "Hyper-V Virtual Ethernet Adapter #2", "a Hyper-V virtual switch adapter"},
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

// How many of the twenty checks each product detector overrides.
TEST(CheckOwnership, FollowsWhatEachDetectorOverrides) {
    const std::map<std::string, size_t> kOwn = {{"VirtualBox", 18}, {"VMWare", 10}, {"Parallels", 2}, {"Qemu", 4},
                                                {"Hyper-V", 2},     {"Wine", 2},    {"Xen", 2}};
    for (auto& detector : utils::vmdetection::makeProductDetectors(nullptr)) {
        const OwnChecks own = ownChecks(*detector);
        EXPECT_EQ(static_cast<size_t>(std::count(own.begin(), own.end(), true)), kOwn.at(detector->getName()))
            << detector->getName();
        if (detector->getName() == "Hyper-V") {  // checkProcesses and checkRegistryKeys, slots 2 and 6 of 1..20
            EXPECT_TRUE(own[1] && own[5]);
        }
    }
}

}  // namespace
}  // namespace Corvane::explain
