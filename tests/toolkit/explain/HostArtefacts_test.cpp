// What the explanation adds beside the checks: hints on artefacts that also
// exist on physical machines.

#include <gtest/gtest.h>

#include <string>

#include "toolkit/explain/HostArtefacts.h"

namespace Corvane::explain {
namespace {

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
