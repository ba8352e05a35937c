#include "vmdetection/GeneralDetection.h"

#include <span>
#include <string>

#include "diagnostics/Evidence.h"
#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"
#include "win32/Win32Api.h"

namespace Corvane::utils::vmdetection {
namespace {

using platform::win32;

// Case-insensitive: does `text` contain one of `needles`?  Returns the first
// needle found, in table order, or null.
const wchar_t* findAnyOf(const wchar_t* text, std::span<const wchar_t* const> needles) {
    if (text == nullptr) return nullptr;
    for (const wchar_t* needle : needles) {
        if (win32().StrStrIW(text, needle) != nullptr) return needle;
    }
    return nullptr;
}

bool testNeedles(const VARIANT& value, std::wstring& shown, std::span<const wchar_t* const> needles) {
    const wchar_t* text = wmiTextOf(value);
    if (findAnyOf(text, needles) == nullptr) return false;
    shown = text;
    return true;
}

}  // namespace

GeneralDetection::GeneralDetection(platform::WMIHelper* wmi)
    : VMDetectionDefault("Unknown Virtual Machine"), wmi(wmi) {}

std::unique_ptr<VMDetectionDefault> GeneralDetection::clone() const { return std::make_unique<GeneralDetection>(wmi); }

VMType GeneralDetection::getType() const { return VMType::UnknownVM; }

const std::array<GeneralDetection::Step, GeneralDetection::kStepCount>& GeneralDetection::steps() {
    // Cheap local signs first, then values read through WMI, then classes
    // that a physical machine always fills.
    static constexpr std::array<Step, kStepCount> table = {{
        {"checkDiskDriveHardwareIds", &GeneralDetection::checkDiskDriveHardwareIds},
        {"checkMemorySize", &GeneralDetection::checkMemorySize},
        {"checkBiosSerialNumber", &GeneralDetection::checkBiosSerialNumber},
        {"checkComputerSystemModel", &GeneralDetection::checkComputerSystemModel},
        {"checkComputerSystemManufacturer", &GeneralDetection::checkComputerSystemManufacturer},
        {"checkProcessorId", &GeneralDetection::checkProcessorId},
        {"checkPowerCapabilities", &GeneralDetection::checkPowerCapabilities},
        {"checkVideoControllerCaption", &GeneralDetection::checkVideoControllerCaption},
        {"checkCacheMemoryCount", &GeneralDetection::checkCacheMemoryCount},
        {"checkPhysicalMemoryCount", &GeneralDetection::checkPhysicalMemoryCount},
        {"checkSmbiosMemoryCount", &GeneralDetection::checkSmbiosMemoryCount},
        {"checkCimMemoryCount", &GeneralDetection::checkCimMemoryCount},
        {"checkPhysicalConnectorCount", &GeneralDetection::checkPhysicalConnectorCount},
        {"checkSlotCount", &GeneralDetection::checkSlotCount},
    }};
    return table;
}

bool GeneralDetection::detect() {
    for (const Step& step : steps()) {
        if ((this->*step.test)()) return true;
    }
    return false;
}

// --- Step 1: disk drives whose first hardware ID names a virtual device ---

namespace {
// The disk drive setup class, {4D36E967-E325-11CE-BFC1-08002BE10318}.
constexpr GUID kDiskDriveClass = {0x4d36e967, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr const wchar_t* kVirtualDiskWords[] = {L"vbox", L"vmware", L"qemu", L"virtual"};
}  // namespace

bool GeneralDetection::checkDiskDriveHardwareIds() {
    const auto& api = win32();
    HDEVINFO devices = api.SetupDiGetClassDevsW(&kDiskDriveClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return false;

    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(SP_DEVINFO_DATA);
    HLOCAL buffer = nullptr;
    std::wstring matchedId;

    for (DWORD index = 0; matchedId.empty() && api.SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        DWORD bufferSize = 0;  // the first call of each device asks for the size
        DWORD required = 0;
        while (!api.SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_HARDWAREID, nullptr,
                                                      static_cast<PBYTE>(buffer), bufferSize, &required)) {
            if (api.GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
            if (buffer != nullptr) api.LocalFree(buffer);
            // Twice what was asked for: the zero fill guarantees the text ends.
            buffer = api.LocalAlloc(LPTR, static_cast<SIZE_T>(required) * 2);
            if (buffer == nullptr) break;
            bufferSize = required;
        }
        if (buffer == nullptr) continue;

        // The multi-string's first entry: the most specific hardware ID.
        const auto* firstId = static_cast<const wchar_t*>(buffer);
        for (const wchar_t* word : kVirtualDiskWords) {
            if (api.StrStrIW(firstId, word) != nullptr) {
                matchedId = firstId;
                break;
            }
        }
    }

    if (buffer != nullptr) api.LocalFree(buffer);
    api.SetupDiDestroyDeviceInfoList(devices);

    // A walk that ended on anything but the end of the list is not trusted.
    const DWORD lastError = api.GetLastError();
    if (lastError != ERROR_SUCCESS && lastError != ERROR_NO_MORE_ITEMS) return false;
    if (matchedId.empty()) return false;
    diagnostics::noteEvidence("hardware ID", std::wstring_view(matchedId));
    return true;
}

// --- Step 2: less physical memory than any current physical machine has ---

namespace {
constexpr DWORDLONG kSmallestPhysicalMemory = 0x40000000;  // 1 GiB
}

bool GeneralDetection::checkMemorySize() {
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof(MEMORYSTATUSEX);
    // A failed call leaves the total at 0 bytes, which counts as a sign.
    win32().GlobalMemoryStatusEx(&memory);
    if (memory.ullTotalPhys >= kSmallestPhysicalMemory) return false;
    diagnostics::noteEvidence("memory size", std::to_string(memory.ullTotalPhys) + " bytes");
    return true;
}

// --- Steps 3 to 6 and 8: one value of the first row of a WMI class ---

bool GeneralDetection::checkWmiValue(const wchar_t* className, const wchar_t* property, ValueTest test) {
    if (wmi == nullptr) return false;
    bool found = false;
    std::wstring shown;

    // A failed query stays in the helper's status and turns the next two
    // calls into no-ops; reset() then clears it for the next step.
    wmi->executeQuery(property, className, L"");
    wmi->fetchFirstResult();
    wmi->getProperty(property, platform::WMIHelper::ValueCallback([&](VARIANT& value) {
                         found = test(value, shown);
                         return found;
                     }));
    wmi->reset();

    if (found) noteWmiHit(className, property, shown);
    return found;
}

namespace {
// The words each value is searched for, case-insensitively.
constexpr const wchar_t* kBiosSerialWords[] = {L"VMWare", L"Xen", L"Virtual", L"A M I"};
constexpr const wchar_t* kModelWords[] = {L"VirtualBox", L"HVM domU", L"VMWare"};
constexpr const wchar_t* kManufacturerWords[] = {L"VMWare", L"Xen", L"innotek GmbH", L"QEMU"};
constexpr const wchar_t* kVideoCaptionWords[] = {L"Hyper-V", L"VMWare"};
}  // namespace

bool GeneralDetection::checkBiosSerialNumber() {
    return checkWmiValue(L"Win32_BIOS", L"SerialNumber", [](const VARIANT& value, std::wstring& shown) {
        const wchar_t* text = wmiTextOf(value);
        if (text == nullptr) return false;
        // Exactly one zero: what hypervisors put where a serial number belongs.
        // Redaction keeps every zero a zero, so it needs no search word.
        const bool placeholder = text[0] == L'0' && text[1] == L'\0';
        if (!placeholder && findAnyOf(text, kBiosSerialWords) == nullptr) return false;
        shown = text;
        return true;
    });
}

bool GeneralDetection::checkComputerSystemModel() {
    return checkWmiValue(L"Win32_ComputerSystem", L"Model", [](const VARIANT& value, std::wstring& shown) {
        return testNeedles(value, shown, kModelWords);
    });
}

bool GeneralDetection::checkComputerSystemManufacturer() {
    return checkWmiValue(L"Win32_ComputerSystem", L"Manufacturer", [](const VARIANT& value, std::wstring& shown) {
        return testNeedles(value, shown, kManufacturerWords);
    });
}

bool GeneralDetection::checkProcessorId() {
    return checkWmiValue(L"Win32_Processor", L"ProcessorId", [](const VARIANT& value, std::wstring& shown) {
        // A missing ID reads as a value whose eight payload bytes are all zero,
        // whatever type the provider gave it.
        if (value.llVal != 0) return false;
        shown = L"(no value)";
        return true;
    });
}

bool GeneralDetection::checkVideoControllerCaption() {
    return checkWmiValue(L"Win32_VideoController", L"Caption", [](const VARIANT& value, std::wstring& shown) {
        return testNeedles(value, shown, kVideoCaptionWords);
    });
}

// --- Step 7: no sleep state and no thermal control at all ---

bool GeneralDetection::checkPowerCapabilities() {
    SYSTEM_POWER_CAPABILITIES power{};
    // Only an answer of exactly TRUE describes the machine.
    if (win32().GetPwrCapabilities(&power) != TRUE) return false;
    if (power.SystemS1 || power.SystemS2 || power.SystemS3 || power.SystemS4 || power.ThermalControl) return false;
    diagnostics::noteEvidence("power capabilities", "S1 0, S2 0, S3 0, S4 0, ThermalControl 0");
    return true;
}

// --- Steps 9 to 14: hardware classes that a physical machine always fills ---

int32_t GeneralDetection::countWmiInstances(const std::wstring& className) {
    if (wmi == nullptr) return -1;
    // A failed query keeps its failing status: the later counts of this
    // detection then fail at once instead of querying a dropped connection.
    if (FAILED(wmi->executeQuery(L"", className, L""))) return -1;

    int32_t count = 0;
    wmi->forEachResult([&count](const platform::ComPtr<IWbemClassObject>&, ULONG returned, HRESULT&) {
        if (returned == 0) return true;
        ++count;
        return false;
    });
    wmi->reset();
    return count;
}

bool GeneralDetection::checkEmptyWmiClass(const wchar_t* className) {
    if (countWmiInstances(className) != 0) return false;
    diagnostics::noteEvidence("WMI class", std::wstring_view(className));
    return true;
}

bool GeneralDetection::checkCacheMemoryCount() { return checkEmptyWmiClass(L"Win32_CacheMemory"); }
bool GeneralDetection::checkPhysicalMemoryCount() { return checkEmptyWmiClass(L"Win32_PhysicalMemory"); }
bool GeneralDetection::checkSmbiosMemoryCount() { return checkEmptyWmiClass(L"Win32_SMBIOSMemory"); }
bool GeneralDetection::checkCimMemoryCount() { return checkEmptyWmiClass(L"CIM_Memory"); }
bool GeneralDetection::checkPhysicalConnectorCount() { return checkEmptyWmiClass(L"CIM_PhysicalConnector"); }
bool GeneralDetection::checkSlotCount() { return checkEmptyWmiClass(L"CIM_Slot"); }

void generalSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "GeneralDetection.checkDiskDriveHardwareIds", kVirtualDiskWords);
    visitWords(visit, "GeneralDetection.checkBiosSerialNumber", kBiosSerialWords);
    visitWords(visit, "GeneralDetection.checkComputerSystemModel", kModelWords);
    visitWords(visit, "GeneralDetection.checkComputerSystemManufacturer", kManufacturerWords);
    visitWords(visit, "GeneralDetection.checkVideoControllerCaption", kVideoCaptionWords);
}

}  // namespace Corvane::utils::vmdetection
