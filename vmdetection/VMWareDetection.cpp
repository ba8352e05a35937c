#include "vmdetection/VMWareDetection.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "diagnostics/Evidence.h"
#include "platform/SystemProbes.h"
#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"

namespace Corvane::utils::vmdetection {

using platform::win32;

VMWareDetection::VMWareDetection() : VMDetectionDefault("VMWare") {}

std::unique_ptr<VMDetectionDefault> VMWareDetection::create() { return std::make_unique<VMWareDetection>(); }

std::unique_ptr<VMDetectionDefault> VMWareDetection::clone() const { return create(); }

VMType VMWareDetection::getType() const { return VMType::VMWare; }

namespace {

// The whole description, compared case-sensitively: "VMware Virtual Ethernet
// Adapter" and "VMWARE" are not it.
constexpr const wchar_t* kAdapterDescription[] = {L"VMWare"};

// The adapter's description, converted from the thread's ANSI code page.
std::wstring adapterDescription(const IP_ADAPTER_INFO& adapter) {
    const char* narrow = adapter.Description;
    const size_t length = strnlen(narrow, sizeof adapter.Description);
    if (length == 0) return std::wstring();
    // One ANSI byte never makes more than one UTF-16 unit.
    wchar_t wide[sizeof adapter.Description] = {};
    const int converted = win32().MultiByteToWideChar(CP_THREAD_ACP, 0, narrow, static_cast<int>(length), wide,
                                                      static_cast<int>(length));
    return std::wstring(wide, converted > 0 ? static_cast<size_t>(converted) : 0);
}

}  // namespace

bool VMWareDetection::checkAdapterDescriptions() {
    const platform::NetworkAdapterList list = platform::getNetworkAdapters();
    if (!list.usable()) return false;
    for (const IP_ADAPTER_INFO* adapter = list.adapters; adapter; adapter = adapter->Next) {
        const std::wstring description = adapterDescription(*adapter);
        if (description == kAdapterDescription[0]) {
            diagnostics::noteEvidence("adapter description", description);
            return true;
        }
    }
    return false;
}

namespace {

// The VMware Tools' service, tray and user programs, the guest authentication
// service and the helper of the virtual machine's own processes.
constexpr const wchar_t* kToolsProcesses[] = {L"vmtoolsd.exe", L"vmwaretray.exe", L"vmwareuser.exe",
                                              L"VGAuthService.exe", L"vmacthlp.exe"};

}  // namespace

bool VMWareDetection::checkProcesses() { return anyProcessRunning(kToolsProcesses); }

namespace {

// Organisationally unique identifiers of VMware's virtual adapters.
constexpr uint8_t kMacPrefixes[][3] = {
    {0x00, 0x05, 0x69},
    {0x00, 0x0C, 0x29},
    {0x00, 0x1C, 0x14},
    {0x00, 0x50, 0x56},
};

}  // namespace

bool VMWareDetection::checkMacAddresses() {
    // Every prefix walks an adapter list of its own.
    for (const auto& prefix : kMacPrefixes) {
        if (anyAdapterWithMacPrefix(prefix)) return true;
    }
    return false;
}

namespace {

constexpr const wchar_t* kToolsKey[] = {L"SOFTWARE\\VMware, Inc.\\VMware Tools"};

}  // namespace

bool VMWareDetection::checkRegistryKeys() { return registryKeyExists(HKEY_LOCAL_MACHINE, kToolsKey[0]); }

namespace {

constexpr RegistryValueProbe kRegistryValues[] = {
    {L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0", L"Identifier", L"VMWARE"},
    {L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0", L"Identifier", L"VMWARE"},
    {L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 2\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0", L"Identifier", L"VMWARE"},
    {L"SYSTEM\\ControlSet001\\Control\\SystemInformation", L"SystemManufacturer", L"VMWARE"},
    {L"SYSTEM\\ControlSet001\\Control\\SystemInformation", L"SystemProductName", L"VMWARE"},
};

}  // namespace

bool VMWareDetection::checkRegistryValues() { return anyRegistryValueContains(kRegistryValues); }

namespace {

// VMware's SMBIOS strings spell the name "VMware"; its ACPI OEM identifier is
// "VMWARE".  Each table is searched for its own spelling only.
constexpr BytePattern kSmbiosPatterns[] = {{"VMware"}};
constexpr BytePattern kAcpiPatterns[] = {{"VMWARE"}};

}  // namespace

bool VMWareDetection::checkSmbiosTable() { return smbiosContainsAny(kSmbiosPatterns); }

bool VMWareDetection::checkAcpiTables() { return acpiTablesContainAny(kAcpiPatterns); }

namespace {

// The Tools' drivers, relative to the Windows directory.
constexpr const wchar_t* kToolsDrivers[] = {
    L"System32\\drivers\\vmnet.sys",        L"System32\\drivers\\vmmouse.sys", L"System32\\drivers\\vmusb.sys",
    L"System32\\drivers\\vm3dmp.sys",       L"System32\\drivers\\vmci.sys",    L"System32\\drivers\\vmhgfs.sys",
    L"System32\\drivers\\vmmemctl.sys",     L"System32\\drivers\\vmx86.sys",   L"System32\\drivers\\vmrawdsk.sys",
    L"System32\\drivers\\vmusbmouse.sys",   L"System32\\drivers\\vmkdb.sys",   L"System32\\drivers\\vmnetuserif.sys",
    L"System32\\drivers\\vmnetadapter.sys",
};

// The installation folder under the native Program Files folder.
constexpr const wchar_t* kToolsFolder[] = {L"VMWare\\"};
constexpr const wchar_t* kToolsDevices[] = {L"\\\\.\\HGFS", L"\\\\.\\vmci"};

}  // namespace

bool VMWareDetection::checkFiles() { return anyFileUnderWindowsDirectory(kToolsDrivers); }

bool VMWareDetection::checkDirectories() {
    // The 64-bit Program Files folder, also from a 32-bit process.
    const std::wstring folder = combinePath(nativeProgramFilesFolder(), kToolsFolder[0]);
    if (!pathIsDirectory(folder)) return false;
    diagnostics::noteEvidence("folder", folder);
    return true;
}

bool VMWareDetection::checkDevices() { return anyDeviceOpens(kToolsDevices); }

void vmwareSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "VMWareDetection.checkAdapterDescriptions", kAdapterDescription);
    visitWords(visit, "VMWareDetection.checkProcesses", kToolsProcesses);
    visitWords(visit, "VMWareDetection.checkRegistryKeys", kToolsKey);
    visitWords(visit, "VMWareDetection.checkRegistryValues", kRegistryValues);
    visitWords(visit, "VMWareDetection.checkSmbiosTable", kSmbiosPatterns);
    visitWords(visit, "VMWareDetection.checkAcpiTables", kAcpiPatterns);
    visitWords(visit, "VMWareDetection.checkFiles", kToolsDrivers);
    visitWords(visit, "VMWareDetection.checkDirectories", kToolsFolder);
    visitWords(visit, "VMWareDetection.checkDevices", kToolsDevices);
}

}  // namespace Corvane::utils::vmdetection
