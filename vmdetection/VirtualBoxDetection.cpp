#include "vmdetection/VirtualBoxDetection.h"

#include <cstdint>
#include <string>

#include "diagnostics/Evidence.h"
#include "diagnostics/Logger.h"
#include "platform/SystemProbes.h"
#include "vmdetection/CommonChecks.h"
#include "vmdetection/SearchWords.h"

// The VirtualBox signs that Windows shows through processes, adapters, the
// registry, the file system, devices, windows and network providers.  The
// firmware and WMI checks live in VirtualBoxFirmwareAndWmiChecks.cpp.

namespace Corvane::utils::vmdetection {

using diagnostics::noteEvidence;
using platform::win32;

VirtualBoxDetection::VirtualBoxDetection(platform::WMIHelper* wmi) : VMDetectionDefault("VirtualBox"), wmi(wmi) {}

std::unique_ptr<VMDetectionDefault> VirtualBoxDetection::create(platform::WMIHelper* wmi) {
    return std::make_unique<VirtualBoxDetection>(wmi);
}

std::unique_ptr<VMDetectionDefault> VirtualBoxDetection::clone() const { return create(wmi); }

VMType VirtualBoxDetection::getType() const { return VMType::VirtualBox; }

namespace {

// The Guest Additions' service and tray programs, as Toolhelp names them.
constexpr const wchar_t* kGuestProcesses[] = {L"vboxservice.exe", L"vboxtray.exe"};

}  // namespace

bool VirtualBoxDetection::checkProcesses() {
    // The progress line comes before each probe, so a hit on the first name
    // leaves no trace of the second.
    for (const wchar_t* name : kGuestProcesses) {
        Logger::log(std::wstring(L"Checking VirtualBox process"), std::wstring(name));
        if (platform::isProcessRunning(name) != 0) {
            noteEvidence("process", std::wstring_view(name));
            return true;
        }
    }
    return false;
}

namespace {

// Oracle's organisationally unique identifier for VirtualBox network cards.
constexpr uint8_t kVirtualBoxMacPrefix[3] = {0x08, 0x00, 0x27};

}  // namespace

bool VirtualBoxDetection::checkMacAddresses() { return anyAdapterWithMacPrefix(kVirtualBoxMacPrefix); }

namespace {

// Keys under HKEY_LOCAL_MACHINE: the firmware's ACPI tables ("VBOX" and two
// underscores is the OEM table id), the Guest Additions and their drivers.
constexpr const wchar_t* kRegistryKeys[] = {
    L"HARDWARE\\ACPI\\DSDT\\VBOX__",
    L"HARDWARE\\ACPI\\FADT\\VBOX__",
    L"HARDWARE\\ACPI\\RSDT\\VBOX__",
    L"SOFTWARE\\Oracle\\VirtualBox Guest Additions",
    L"SYSTEM\\ControlSet001\\Services\\VBoxGuest",
    L"SYSTEM\\ControlSet001\\Services\\VBoxMouse",
    L"SYSTEM\\ControlSet001\\Services\\VBoxService",
    L"SYSTEM\\ControlSet001\\Services\\VBoxSF",
    L"SYSTEM\\ControlSet001\\Services\\VBoxVideo",
};

}  // namespace

bool VirtualBoxDetection::checkRegistryKeys() {
    for (const wchar_t* key : kRegistryKeys) {
        Logger::log(std::wstring(L"Checking reg key: ") + key);
        // The process's own registry view: no WOW64 view flag.
        if (registryKeyExists(HKEY_LOCAL_MACHINE, key)) return true;
    }
    return false;
}

namespace {

// The emulated disk, the BIOS and the video BIOS name the product; the BIOS
// date is the one VirtualBox's BIOS has always carried.
constexpr RegistryValueProbe kRegistryValues[] = {
    {L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0", L"Identifier", L"VBOX"},
    {L"HARDWARE\\Description\\System", L"SystemBiosVersion", L"VBOX"},
    {L"HARDWARE\\Description\\System", L"VideoBiosVersion", L"VIRTUALBOX"},
    {L"HARDWARE\\Description\\System", L"SystemBiosDate", L"06/23/99"},
};

}  // namespace

bool VirtualBoxDetection::checkRegistryValues() { return anyRegistryValueContains(kRegistryValues); }

namespace {

// Drivers, display and OpenGL libraries and tools of the Guest Additions,
// relative to the Windows directory.
constexpr const wchar_t* kGuestFiles[] = {
    L"System32\\drivers\\VBoxMouse.sys", L"System32\\drivers\\VBoxGuest.sys",
    L"System32\\drivers\\VBoxSF.sys",    L"System32\\drivers\\VBoxVideo.sys",
    L"System32\\vboxdisp.dll",           L"System32\\vboxhook.dll",
    L"System32\\vboxmrxnp.dll",          L"System32\\vboxogl.dll",
    L"System32\\vboxoglarrayspu.dll",    L"System32\\vboxoglcrutil.dll",
    L"System32\\vboxoglerrorspu.dll",    L"System32\\vboxoglfeedbackspu.dll",
    L"System32\\vboxoglpackspu.dll",     L"System32\\vboxoglpassthroughspu.dll",
    L"System32\\vboxservice.exe",        L"System32\\vboxtray.exe",
    L"System32\\VBoxControl.exe",
};

}  // namespace

bool VirtualBoxDetection::checkFiles() { return anyFileUnderWindowsDirectory(kGuestFiles); }

namespace {

// The Guest Additions' installation folder under the native Program Files folder.
constexpr const wchar_t* kGuestAdditionsFolder = L"oracle\\virtualbox guest additions\\";

}  // namespace

bool VirtualBoxDetection::checkDirectories() {
    const std::wstring path = combinePath(nativeProgramFilesFolder(), kGuestAdditionsFolder);
    if (!pathIsDirectory(path)) return false;
    noteEvidence("folder", path);
    return true;
}

namespace {

// The shared-folder redirector's device and the Guest Additions' driver
// device and pipes.  The redirector's device is "VBoxMiniRdrDN", its pipe
// "VBoxMiniRdDN".
constexpr const wchar_t* kGuestDevices[] = {
    L"\\\\.\\VBoxMiniRdrDN", L"\\\\.\\VBoxGuest",         L"\\\\.\\pipe\\VBoxMiniRdDN",
    L"\\\\.\\VBoxTrayIPC",   L"\\\\.\\pipe\\VBoxTrayIPC",
};

}  // namespace

bool VirtualBoxDetection::checkDevices() { return anyDeviceOpens(kGuestDevices); }

namespace {

// The hidden tool window of VBoxTray.exe.
constexpr const wchar_t* kTrayWindowClass = L"VBoxTrayToolWndClass";
constexpr const wchar_t* kTrayWindowTitle = L"VBoxTrayToolWnd";
constexpr const wchar_t* kTrayWindowNames[] = {kTrayWindowClass, kTrayWindowTitle};

}  // namespace

bool VirtualBoxDetection::checkWindows() {
    // Both lookups are always made.
    const HWND byClass = win32().FindWindowW(kTrayWindowClass, nullptr);
    const HWND byTitle = win32().FindWindowW(nullptr, kTrayWindowTitle);
    if (byClass) noteEvidence("window", std::wstring(L"class ") + kTrayWindowClass);
    if (byTitle) noteEvidence("window", std::wstring(L"title ") + kTrayWindowTitle);
    return byClass != nullptr || byTitle != nullptr;
}

namespace {

// The shared folders register as the network type of the sample redirector.
constexpr DWORD kSharedFoldersNetType = WNNC_NET_RDR2SAMPLE;  // 0x00250000
constexpr const wchar_t* kSharedFoldersProvider[] = {L"VirtualBox Shared Folders"};
constexpr DWORD kProviderNameCharacters = 260;

}  // namespace

bool VirtualBoxDetection::checkNetworkProviders() {
    wchar_t provider[kProviderNameCharacters] = {};
    DWORD size = kProviderNameCharacters;  // characters
    if (win32().WNetGetProviderNameW(kSharedFoldersNetType, provider, &size) != NO_ERROR) return false;
    if (win32().StrCmpIW(provider, kSharedFoldersProvider[0]) != 0) return false;
    noteEvidence("network provider", std::wstring_view(provider));
    return true;
}

void virtualBoxSearchWords(const SearchWordVisitor& visit) {
    visitWords(visit, "VirtualBoxDetection.checkProcesses", kGuestProcesses);
    visitWords(visit, "VirtualBoxDetection.checkRegistryKeys", kRegistryKeys);
    visitWords(visit, "VirtualBoxDetection.checkRegistryValues", kRegistryValues);
    visitWords(visit, "VirtualBoxDetection.checkFiles", kGuestFiles);
    visitWords(visit, "VirtualBoxDetection.checkDirectories", {&kGuestAdditionsFolder, 1});
    visitWords(visit, "VirtualBoxDetection.checkDevices", kGuestDevices);
    visitWords(visit, "VirtualBoxDetection.checkWindows", kTrayWindowNames);
    visitWords(visit, "VirtualBoxDetection.checkNetworkProviders", kSharedFoldersProvider);
}

}  // namespace Corvane::utils::vmdetection
