#include "vmdetection/QemuDetection.h"

#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::utils::vmdetection {

QemuDetection::QemuDetection() : VMDetectionDefault("Qemu") {}

std::unique_ptr<VMDetectionDefault> QemuDetection::create() { return std::make_unique<QemuDetection>(); }

std::unique_ptr<VMDetectionDefault> QemuDetection::clone() const { return create(); }

VMType QemuDetection::getType() const { return VMType::Qemu; }

namespace {

constexpr const wchar_t* kGuestAgentProcess[] = {L"qemu-ga.exe"};

}  // namespace

// The QEMU guest agent.
bool QemuDetection::checkProcesses() { return anyProcessRunning(kGuestAgentProcess); }

namespace {

// The first SCSI disk ("QEMU HARDDISK") and the BIOS version; of the
// multi-string "SystemBiosVersion" only the first string is read.
constexpr RegistryValueProbe kRegistryValues[] = {
    {L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0", L"Identifier", L"QEMU"},
    {L"HARDWARE\\Description\\System", L"SystemBiosVersion", L"QEMU"},
};

}  // namespace

bool QemuDetection::checkRegistryValues() { return anyRegistryValueContains(kRegistryValues); }

namespace {

// "qemu" first over the whole table, then "QEMU"; a mixed-case "Qemu" is neither.
constexpr BytePattern kSmbiosPatterns[] = {{"qemu"}, {"QEMU"}};
// QEMU's ACPI tables carry the OEM identifier "BOCHS " and the OEM table
// identifier "BXPC....".
constexpr BytePattern kAcpiPatterns[] = {{"BOCH"}, {"BXPC"}};

}  // namespace

bool QemuDetection::checkSmbiosTable() { return smbiosContainsAny(kSmbiosPatterns); }

bool QemuDetection::checkAcpiTables() { return acpiTablesContainAny(kAcpiPatterns); }

void qemuSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "QemuDetection.checkProcesses", kGuestAgentProcess);
    visitWords(visit, "QemuDetection.checkRegistryValues", kRegistryValues);
    visitWords(visit, "QemuDetection.checkSmbiosTable", kSmbiosPatterns);
    visitWords(visit, "QemuDetection.checkAcpiTables", kAcpiPatterns);
}

}  // namespace Corvane::utils::vmdetection
