#include "vmdetection/QemuDetection.h"

#include "vmdetection/CommonChecks.h"

namespace Corvane::utils::vmdetection {

QemuDetection::QemuDetection() : VMDetectionDefault("Qemu") {}

std::unique_ptr<VMDetectionDefault> QemuDetection::create() { return std::make_unique<QemuDetection>(); }

std::unique_ptr<VMDetectionDefault> QemuDetection::clone() const { return create(); }

VMType QemuDetection::getType() const { return VMType::Qemu; }

// The QEMU guest agent.
bool QemuDetection::checkProcesses() { return anyProcessRunning({L"qemu-ga.exe"}); }

namespace {

// The first SCSI disk ("QEMU HARDDISK") and the BIOS version; of the
// multi-string "SystemBiosVersion" only the first string is read.
constexpr RegistryValueProbe kRegistryValues[] = {
    {L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0", L"Identifier", L"QEMU"},
    {L"HARDWARE\\Description\\System", L"SystemBiosVersion", L"QEMU"},
};

}  // namespace

bool QemuDetection::checkRegistryValues() {
    for (const RegistryValueProbe& probe : kRegistryValues) {
        if (registryValueContains(probe)) return true;
    }
    return false;
}

// "qemu" first over the whole table, then "QEMU"; a mixed-case "Qemu" is neither.
bool QemuDetection::checkSmbiosTable() { return smbiosContainsAny({{"qemu"}, {"QEMU"}}); }

// QEMU's ACPI tables carry the OEM identifier "BOCHS " and the OEM table
// identifier "BXPC....".
bool QemuDetection::checkAcpiTables() { return acpiTablesContainAny({{"BOCH"}, {"BXPC"}}); }

}  // namespace Corvane::utils::vmdetection
