// Every sign every product detector knows, one row each: a machine with no
// sign but that one artefact makes exactly the named check of that detector
// fire (a typo in any of the detector's constants fails its row), and the
// rows marked `none` are near misses that no check may take for a sign.
// The tables are written from the product documentation of each sign, not
// from the detectors' own tables.  Each row holds again with every text the
// checks read redacted as `capture --redact` redacts what identifies a
// machine: a word missing from the detectors' search words fails its row.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "support/SimulatedMachineTest.h"
#include "toolkit/capture/Redaction.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace profile;
using Give = std::function<void(MachineProfile&)>;

struct Row {
    const char* check;  // the one check that fires, or "" for none
    std::string label;
    Give give;
};

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

Row process(const char* check, const std::wstring& exe) {
    return {check, "process " + narrow(exe), [=](MachineProfile& p) { addProcess(p, exe); }};
}
Row key(const char* check, const std::wstring& root, const std::wstring& path) {
    return {check, "key " + narrow(root + L"\\" + path), [=](MachineProfile& p) { addRegistryKey(p, root, path); }};
}
Row value(const char* check, const std::wstring& path, const std::wstring& name, const std::wstring& text) {
    return {check, "value " + narrow(path + L" [" + name + L"] = " + text),
            [=](MachineProfile& p) { addStringValue(addRegistryKey(p, L"HKLM", path), name, text); }};
}
Row file(const char* check, const std::wstring& underWindows) {
    return {check, "file " + narrow(underWindows),
            [=](MachineProfile& p) { addFile(p, L"C:\\Windows\\" + underWindows); }};
}
Row folder(const char* check, const std::wstring& underProgramFiles) {
    return {check, "folder " + narrow(underProgramFiles),
            [=](MachineProfile& p) { addDirectory(p, L"C:\\Program Files\\" + underProgramFiles); }};
}
Row device(const char* check, const std::wstring& name) {
    return {check, "device " + narrow(name), [=](MachineProfile& p) { addDevice(p, name); }};
}
Row mac(const char* check, const char* address, uint32_t length = 6) {
    return {check, std::string("MAC ") + address + " length " + std::to_string(length),
            [=](MachineProfile& p) { addAdapter(p, address, "Ethernet").addressLength = length; }};
}
Row smbios(const char* check, const std::string& text) {
    return {check, "SMBIOS " + text,
            [=](MachineProfile& p) { setSmbios(p, rawSmbiosData({smbiosStructure(1, 1, {1}, {"x" + text + "y"})})); }};
}
Row acpi(const char* check, const std::string& text) {
    return {check, "ACPI " + text, [=](MachineProfile& p) {
                addAcpiTable(p, "TEST", acpiTableBytes("TEST", "OEMID ", "TABLEID ", {text.begin(), text.end()}));
            }};
}
Row wmiRows(const char* check, const std::wstring& className, std::vector<WmiProperties> rows, bool replace = false) {
    return {check, "WMI " + narrow(className) + " " + std::to_string(rows.size()) + " rows", [=](MachineProfile& p) {
                if (replace) removeWmiClass(p, className);
                addWmiClass(p, className);
                for (const auto& row : rows) addWmiRow(p, className, row);
            }};
}

// Every name, key, value and SMBIOS string redacted, as if each identified the machine.
void redactEveryText(MachineProfile& p) {
    const auto redact = [](std::wstring& text) { text = capture::redactText(text); };
    for (auto& key : p.registry) {
        redact(key.path);
        for (auto& value : key.values) {
            if (value.type != 1 && value.type != 2 && value.type != 7) continue;
            std::wstring text(value.data.size() / 2, L'\0');
            std::memcpy(text.data(), value.data.data(), text.size() * 2);
            redact(text);
            std::memcpy(value.data.data(), text.data(), text.size() * 2);
        }
    }
    for (auto& process : p.processes) redact(process.exeName);
    for (auto& device : p.devices) redact(device.name);
    for (auto& window : p.windows) redact(window.className), redact(window.title);
    for (auto& provider : p.networkProviders) redact(provider.name);
    for (auto& wmiClass : p.wmi.classes)
        for (auto& row : wmiClass.rows)
            for (auto& [name, value] : row.properties) {
                redact(value.text);
                for (auto& text : value.strings) redact(text);
            }
    if (!p.firmware.rawSmbios) return;
    // The strings after each structure's formatted part, up to the double NUL.
    auto& raw = *p.firmware.rawSmbios;
    for (size_t at = 8; at + 4 <= raw.size() && raw[at + 1] >= 4;) {
        size_t end = at + raw[at + 1];
        while (end + 1 < raw.size() && (raw[end] != 0 || raw[end + 1] != 0)) ++end;
        const std::wstring text(raw.begin() + at + raw[at + 1], raw.begin() + end);
        const std::wstring redacted = capture::redactText(text);
        for (size_t i = 0; i < text.size(); ++i) raw[at + raw[at + 1] + i] = static_cast<uint8_t>(redacted[i]);
        at = end + 2;
    }
}

class DetectorConstants : public Corvane::testing::SimulatedMachineTest {
protected:
    // The checks of the named product detector that find a sign on `profile`.
    std::vector<std::string> checksFinding(const std::string& detectorName) {
        start();
        std::vector<std::string> found;
        {
            VMDetectionManager manager;
            for (const auto& detector : manager.getDetectors()) {
                if (detector->getName() != detectorName) continue;
                for (const auto& slot : VMDetectionDefault::checkSlots())
                    if (((*detector).*slot.check)()) found.push_back(slot.name);
            }
        }
        stop();
        return found;
    }

    void expectRows(const std::string& detectorName, const std::vector<Row>& rows) {
        profile = physicalMachineWithoutSigns();
        ASSERT_EQ(checksFinding(detectorName), std::vector<std::string>{}) << "a machine without signs";
        for (const Row& row : rows) {
            const std::vector<std::string> expected = *row.check ? std::vector<std::string>{row.check}
                                                                 : std::vector<std::string>{};
            for (const bool redacted : {false, true}) {
                profile = physicalMachineWithoutSigns();
                row.give(profile);
                if (redacted) redactEveryText(profile);
                EXPECT_EQ(checksFinding(detectorName), expected)
                    << detectorName << ": " << row.label << (redacted ? ", redacted" : "");
            }
        }
    }
};

constexpr const char* none = "";

// The registry keys of the SCSI ports' first disk and of the firmware's description.
std::wstring scsiPort(wchar_t n) {
    return L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port " + std::wstring(1, n) +
           L"\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0";
}
const std::wstring kSystem = L"HARDWARE\\Description\\System";

TEST_F(DetectorConstants, VirtualBox) {
    const char *p = "checkProcesses", *k = "checkRegistryKeys", *v = "checkRegistryValues", *f = "checkFiles",
               *d = "checkDevices", *s = "checkSmbiosTable", *a = "checkAcpiTables";
    auto buses = [](const char* check, std::vector<const wchar_t*> names) {
        std::vector<WmiProperties> rows;
        for (const wchar_t* name : names) rows.push_back({{L"Name", wmiText(name)}});
        return wmiRows(check, L"Win32_Bus", rows, true);
    };
    std::vector<Row> rows = {
        process(p, L"vboxservice.exe"),
        process(p, L"vboxtray.exe"),
        process(none, L"VBoxService.exe"),
        mac("checkMacAddresses", "08:00:27:12:34:56"),
        mac(none, "08:00:27:12:34:56", 5),
        mac(none, "08:00:28:12:34:56"),
        key(k, L"HKLM", L"HARDWARE\\ACPI\\DSDT\\VBOX__"),
        key(k, L"HKLM", L"HARDWARE\\ACPI\\FADT\\VBOX__"),
        key(k, L"HKLM", L"HARDWARE\\ACPI\\RSDT\\VBOX__"),
        key(k, L"HKLM", L"SOFTWARE\\Oracle\\VirtualBox Guest Additions"),
        key(k, L"HKLM", L"SYSTEM\\ControlSet001\\Services\\VBoxGuest"),
        key(k, L"HKLM", L"SYSTEM\\ControlSet001\\Services\\VBoxMouse"),
        key(k, L"HKLM", L"SYSTEM\\ControlSet001\\Services\\VBoxService"),
        key(k, L"HKLM", L"SYSTEM\\ControlSet001\\Services\\VBoxSF"),
        key(k, L"HKLM", L"SYSTEM\\ControlSet001\\Services\\VBoxVideo"),
        key(none, L"HKCU", L"SOFTWARE\\Oracle\\VirtualBox Guest Additions"),
        value(v, scsiPort(L'0'), L"Identifier", L"vbox harddisk"),
        value(v, kSystem, L"SystemBiosVersion", L"vbox   - 1"),
        value(v, kSystem, L"VideoBiosVersion", L"Oracle VirtualBox VGA BIOS"),
        value(v, kSystem, L"SystemBiosDate", L"06/23/99"),
        value(none, kSystem, L"SystemBiosDate", L"06/23/98"),
        folder("checkDirectories", L"Oracle\\VirtualBox Guest Additions"),
        device(d, L"\\\\.\\VBoxMiniRdrDN"),
        device(d, L"\\\\.\\VBoxGuest"),
        device(d, L"\\\\.\\pipe\\VBoxMiniRdDN"),
        device(d, L"\\\\.\\VBoxTrayIPC"),
        device(d, L"\\\\.\\pipe\\VBoxTrayIPC"),
        device(none, L"\\\\.\\pipe\\VBoxMiniRdrDN"),
        {none, "busy pipe",
         [](MachineProfile& m) { addDevice(m, L"\\\\.\\pipe\\VBoxTrayIPC", 231 /*ERROR_PIPE_BUSY*/); }},
        {"checkWindows", "window class", [](MachineProfile& m) { addWindow(m, L"VBoxTrayToolWndClass", L"any"); }},
        {"checkWindows", "window title", [](MachineProfile& m) { addWindow(m, L"AnyClass", L"VBoxTrayToolWnd"); }},
        {"checkNetworkProviders", "provider",
         [](MachineProfile& m) { addNetworkProvider(m, 0x00250000, L"virtualbox shared folders"); }},
        {none, "longer provider",
         [](MachineProfile& m) { addNetworkProvider(m, 0x00250000, L"VirtualBox Shared Folders 2"); }},
        smbios(s, "VirtualBox"),
        smbios(s, "vbox"),
        smbios(s, "VBOX"),
        smbios(none, "virtualBox Vbox"),
        acpi(a, "VirtualBox"),
        acpi(a, "vbox"),
        acpi(a, "VBOX"),
        acpi(none, "Vbox"),
        {a, "three-byte table list", [](MachineProfile& m) { m.firmware.acpiEnumerationResult = 3; }},
        {none, "one-table list", [](MachineProfile& m) { m.firmware.acpiEnumerationResult = 4; }},
        wmiRows("checkWmiMacAddresses", L"Win32_NetworkAdapterConfiguration",
                {{{L"MACAddress", wmiText(L"08:00:27:AB:CD:EF")}}}),
        wmiRows(none, L"Win32_NetworkAdapterConfiguration", {{{L"MACAddress", wmiText(L"08-00-27-AB-CD-EF")}}}),
        wmiRows(none, L"Win32_NetworkAdapterConfiguration", {{{L"MACAddress", wmiText(L"08:00:27:AB:CD:EF")}}},
                true),  // first row
        wmiRows(none, L"Win32_PnPEntity",
                {{{L"Name", wmiText(L"82801FB 82441FX 82371SB OpenHCD")}}, {{L"Name", wmiText(L"82801FB")}}}),
        buses(none, {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0", L"USB_BUS_0"}),
        buses(none, {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"USB_BUS_0"}),
        wmiRows("checkWmiPciDeviceId", L"Win32_PnPEntity",
                {{{L"Name", wmiText(L"Guest")}, {L"DeviceID", wmiText(L"PCI\\VEN_80EE&DEV_CAFE&SUBSYS_0")}}}, true),
        wmiRows("checkWmiPciDeviceId", L"Win32_PnPEntity",
                {{{L"DeviceID", wmiText(L"ACPI\\PNP0A03\\0")}}, {{L"DeviceID", wmiText(L"PCI\\VEN_80EE&DEV_CAFE")}}},
                true),
        buses("checkWmiBuses", {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0"}),
        wmiRows("checkWmiBaseBoard", L"Win32_BaseBoard", {{{L"Product", wmiText(L"VirtualBox")}}}),
        wmiRows("checkWmiBaseBoard", L"Win32_BaseBoard", {{{L"Manufacturer", wmiText(L"Oracle Corporation")}}}),
        wmiRows("checkWmiPnpDevices", L"Win32_PnPDevice", {{{L"Name", wmiText(L"VBOX CD-ROM")}}}),
        wmiRows("checkWmiPnpDevices", L"Win32_PnPDevice", {{{L"Caption", wmiText(L"VBOX HARDDISK")}}}),
        wmiRows("checkWmiPnpDevices", L"Win32_PnPDevice", {{{L"PNPDeviceID", wmiText(L"PCI\\VEN_VBOX")}}}),
        wmiRows(none, L"Win32_PnPDevice", {{{L"Name", wmiText(L"vbox")}, {L"PNPDeviceID", wmiText(L"VEN_vbox")}}}),
    };
    for (const wchar_t* name :
         {L"drivers\\VBoxMouse.sys", L"drivers\\VBoxGuest.sys", L"drivers\\VBoxSF.sys", L"drivers\\VBoxVideo.sys",
          L"vboxdisp.dll", L"vboxhook.dll", L"vboxmrxnp.dll", L"vboxogl.dll", L"vboxoglarrayspu.dll",
          L"vboxoglcrutil.dll", L"vboxoglerrorspu.dll", L"vboxoglfeedbackspu.dll", L"vboxoglpackspu.dll",
          L"vboxoglpassthroughspu.dll", L"vboxservice.exe", L"vboxtray.exe", L"VBoxControl.exe"})
        rows.push_back(file(f, std::wstring(L"System32\\") + name));
    for (const wchar_t* source : {L"vboxvideo", L"VBoxVideoW8", L"VBOXWDDM"})
        rows.push_back(wmiRows("checkEventLogSources", L"Win32_NTEventlogFile",
                               {{{L"LogfileName", wmiText(L"system")}, {L"Sources", wmiStrings({L"disk", source})}}},
                               true));
    for (const wchar_t* part : {L"82801FB", L"82441FX", L"82371SB", L"OpenHCD"}) {
        const WmiProperties entity = {{L"Name", wmiText(std::wstring(L"Intel ") + part)}};
        rows.push_back(wmiRows("checkWmiPnpEntities", L"Win32_PnPEntity", {entity, entity, entity}));
    }
    expectRows("VirtualBox", rows);
}

TEST_F(DetectorConstants, VMware) {
    const char *p = "checkProcesses", *m = "checkMacAddresses", *v = "checkRegistryValues", *f = "checkFiles",
               *d = "checkDevices";
    const std::wstring info = L"SYSTEM\\ControlSet001\\Control\\SystemInformation";
    std::vector<Row> rows = {
        {"checkAdapterDescriptions", "description",
         [](MachineProfile& x) { addAdapter(x, "02:00:00:00:00:01", "VMWare"); }},
        {none, "description in other case", [](MachineProfile& x) { addAdapter(x, "02:00:00:00:00:01", "VMware"); }},
        {none, "longer description", [](MachineProfile& x) { addAdapter(x, "02:00:00:00:00:01", "VMWare Adapter"); }},
        process(p, L"vmtoolsd.exe"),
        process(p, L"vmwaretray.exe"),
        process(p, L"vmwareuser.exe"),
        process(p, L"VGAuthService.exe"),
        process(p, L"vmacthlp.exe"),
        process(none, L"VMToolsd.exe"),
        mac(m, "00:05:69:01:02:03"),
        mac(m, "00:0C:29:01:02:03"),
        mac(m, "00:1C:14:01:02:03"),
        mac(m, "00:50:56:C0:00:08"),
        mac(none, "00:50:57:C0:00:08"),
        mac(none, "00:50:56:C0:00:08", 8),
        key("checkRegistryKeys", L"HKLM", L"SOFTWARE\\VMware, Inc.\\VMware Tools"),
        value(v, scsiPort(L'0'), L"Identifier", L"vmware virtual disk"),
        value(v, scsiPort(L'1'), L"Identifier", L"VMware Virtual disk"),
        value(v, scsiPort(L'2'), L"Identifier", L"VMWARE"),
        value(v, info, L"SystemManufacturer", L"VMware, Inc."),
        value(v, info, L"SystemProductName", L"VMware7,1"),
        value(none, scsiPort(L'3'), L"Identifier", L"VMware Virtual disk"),
        smbios("checkSmbiosTable", "VMware"),
        smbios(none, "VMWARE vmware"),
        acpi("checkAcpiTables", "VMWARE"),
        acpi(none, "VMware"),
        folder("checkDirectories", L"vmware"),
        device(d, L"\\\\.\\HGFS"),
        device(d, L"\\\\.\\vmci"),
        {none, "driver folder",
         [](MachineProfile& x) { addDirectory(x, L"C:\\Windows\\System32\\drivers\\vmci.sys"); }},
        // Links are followed: judged by their targets.
        {none, "dangling link named like a driver",
         [](MachineProfile& x) { addLink(x, L"C:\\Windows\\System32\\drivers\\vmci.sys", L"D:\\gone\\vmci.sys"); }},
        {f, "link to a driver file",
         [](MachineProfile& x) {
             addFile(x, L"D:\\store\\vmci.sys");
             addLink(x, L"C:\\Windows\\System32\\drivers\\vmci.sys", L"D:\\store\\vmci.sys");
         }},
        {"checkDirectories", "link to a folder",
         [](MachineProfile& x) {
             addDirectory(x, L"D:\\store\\VMware");
             addLink(x, L"C:\\Program Files\\VMWare", L"D:\\store\\VMware");
         }},
        {none, "folder link to a file",
         [](MachineProfile& x) {
             addFile(x, L"D:\\store\\VMware");
             addLink(x, L"C:\\Program Files\\VMWare", L"D:\\store\\VMware");
         }},
    };
    for (const wchar_t* name : {L"vmnet", L"vmmouse", L"vmusb", L"vm3dmp", L"vmci", L"vmhgfs", L"vmmemctl", L"vmx86",
                                L"vmrawdsk", L"vmusbmouse", L"vmkdb", L"vmnetuserif", L"vmnetadapter"})
        rows.push_back(file(f, std::wstring(L"System32\\drivers\\") + name + L".sys"));
    expectRows("VMWare", rows);
}

TEST_F(DetectorConstants, TheOtherProducts) {
    const char *p = "checkProcesses", *m = "checkMacAddresses", *k = "checkRegistryKeys", *v = "checkRegistryValues",
               *s = "checkSmbiosTable", *a = "checkAcpiTables";
    auto exports = [](const char* check, std::string name) {
        return Row{check, "export " + name, [=](MachineProfile& x) { x.system.kernel32Exports.push_back(name); }};
    };
    expectRows("Parallels",
               {process(p, L"prl_cc.exe"), process(p, L"prl_tools.exe"), process(none, L"PRL_CC.EXE"),
                mac(m, "00:1C:42:1F:2A:03"), mac(none, "00:1C:43:1F:2A:03"), mac(none, "00:1C:42:1F:2A:03", 5)});
    expectRows("Qemu", {process(p, L"qemu-ga.exe"), process(none, L"QEMU-GA.exe"),
                        value(v, scsiPort(L'0'), L"Identifier", L"qemu harddisk"),
                        value(v, kSystem, L"SystemBiosVersion", L"BOCHS - 1 QEMU"),
                        value(none, kSystem, L"VideoBiosVersion", L"QEMU"), smbios(s, "qemu"), smbios(s, "QEMU"),
                        smbios(none, "Qemu"), acpi(a, "BOCH"), acpi(a, "BXPC"), acpi(none, "boch bxpc")});
    expectRows("Hyper-V", {process(p, L"VMSrvc.exe"), process(p, L"VMUSrvc.exe"), process(none, L"vmsrvc.exe"),
                           key(k, L"HKLM", L"SOFTWARE\\Microsoft\\Virtual Machine\\Guest\\Parameters"),
                           key(none, L"HKCU", L"SOFTWARE\\Microsoft\\Virtual Machine\\Guest\\Parameters")});
    expectRows("Wine", {exports("checkLibraryExports", "wine_get_unix_file_name"), exports(none, "wine_get_version"),
                        key(k, L"HKCU", L"SOFTWARE\\Wine"), key(none, L"HKLM", L"SOFTWARE\\Wine")});
    expectRows("Xen", {process(p, L"xenservice.exe"), process(none, L"XenService.exe"), mac(m, "00:16:3E:5A:11:02"),
                       mac(none, "00:16:3F:5A:11:02")});
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
