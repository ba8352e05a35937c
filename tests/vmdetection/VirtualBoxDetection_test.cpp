// The VirtualBox detector's checks of processes, adapters, registry, files,
// folders, devices, windows and network providers, against simulated machines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnostics/Evidence.h"
#include "platform/SystemProbes.h"
#include "support/LogCapture.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/DetectorTestSupport.h"
#include "vmdetection/VirtualBoxDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

using namespace profile;
using Corvane::testing::evidenceText;
using Corvane::testing::LogCapture;
using ::testing::HasSubstr;

class VirtualBoxChecks : public Corvane::testing::SimulatedMachineTest {
protected:
    void SetUp() override { platform::forgetWow64Answer(); }
    void TearDown() override {
        platform::forgetWow64Answer();
        SimulatedMachineTest::TearDown();
    }

    VirtualBoxDetection detector{nullptr};
};

TEST_F(VirtualBoxChecks, NameTypeAndCloneSharingTheHelper) {
    EXPECT_EQ(detector.getName(), "VirtualBox");
    EXPECT_EQ(detector.getType(), VMType::VirtualBox);
    auto copy = detector.clone();
    EXPECT_EQ(copy->getName(), "VirtualBox");
    EXPECT_EQ(copy->getType(), VMType::VirtualBox);
}

TEST_F(VirtualBoxChecks, PhysicalMachineShowsNoSign) {
    start();
    EXPECT_FALSE(detector.detect());
}

// --- processes ---

TEST_F(VirtualBoxChecks, GuestServiceEndsTheProcessCheckBeforeTheTrayIsLoggedOrProbed) {
    addProcess(profile, L"vboxservice.exe");
    addProcess(profile, L"vboxtray.exe");
    start();
    LogCapture log;
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkProcesses());
    EXPECT_EQ(log.countLines("Checking VirtualBox process: vboxservice.exe"), 1u);
    EXPECT_EQ(log.countLines("Checking VirtualBox process: vboxtray.exe"), 0u);
    EXPECT_EQ(machine().countCalls("CreateToolhelp32Snapshot"), 1u);
    EXPECT_EQ(evidenceText(evidence), "process: vboxservice.exe\n");
}

TEST_F(VirtualBoxChecks, TrayAloneIsFoundAfterBothProgressLines) {
    addProcess(profile, L"vboxtray.exe");
    start();
    LogCapture log;
    EXPECT_TRUE(detector.checkProcesses());
    const std::string text = log.text();
    ASSERT_NE(text.find("Checking VirtualBox process: vboxtray.exe\n"), std::string::npos);
    EXPECT_LT(text.find("Checking VirtualBox process: vboxservice.exe\n"),
              text.find("Checking VirtualBox process: vboxtray.exe\n"));
    EXPECT_EQ(machine().countCalls("CreateToolhelp32Snapshot"), 2u);
}

TEST_F(VirtualBoxChecks, ProgramsNamedInAnotherCaseAreNotFound) {
    // Windows lists the Guest Additions' programs as their files are named.
    addProcess(profile, L"VBoxService.exe");
    addProcess(profile, L"VBoxTray.exe");
    start();
    EXPECT_FALSE(detector.checkProcesses());
}

// --- MAC addresses ---

TEST_F(VirtualBoxChecks, AdapterWithTheOraclePrefixIsFoundBehindOthers) {
    addAdapter(profile, "00:50:56:C0:00:08", "VMware Virtual Ethernet Adapter");
    addAdapter(profile, "08:00:27:12:34:56", "Intel(R) PRO/1000 MT Desktop Adapter");
    start();
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkMacAddresses());
    EXPECT_EQ(evidenceText(evidence), "MAC address: 08:00:27:12:34:56\n");
}

TEST_F(VirtualBoxChecks, PrefixNeedsAnAddressOfSixBytesAndAllThreePrefixBytes) {
    auto& shortAddress = addAdapter(profile, "08:00:27:12:34:56", "Intel(R) PRO/1000 MT Desktop Adapter");
    shortAddress.addressLength = 5;
    addAdapter(profile, "08:00:28:12:34:56", "other vendor");
    addAdapter(profile, "0A:00:27:00:00:11", "VirtualBox Host-Only Ethernet Adapter");
    start();
    EXPECT_FALSE(detector.checkMacAddresses());
}

TEST_F(VirtualBoxChecks, FailedAdapterListingIsNoSign) {
    addAdapter(profile, "08:00:27:12:34:56", "Intel(R) PRO/1000 MT Desktop Adapter");
    start();
    machine().faults().failGetAdaptersInfo = true;
    EXPECT_FALSE(detector.checkMacAddresses());
}

// --- registry keys ---

const std::vector<std::wstring> kGuestKeys = {
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

TEST_F(VirtualBoxChecks, EveryKeyIsASignAndTheWalkLogsUpToItsHit) {
    for (size_t hit = 0; hit < kGuestKeys.size(); ++hit) {
        SCOPED_TRACE(Logger::toUtf8(kGuestKeys[hit]));
        profile = physicalMachineWithoutSigns();
        addRegistryKey(profile, L"HKLM", kGuestKeys[hit] + L"\\VBOXBIOS\\00000002");
        start();
        LogCapture log;
        diagnostics::EvidenceCollector evidence;
        EXPECT_TRUE(detector.checkRegistryKeys());
        for (size_t i = 0; i < kGuestKeys.size(); ++i) {
            EXPECT_EQ(log.countLines("Checking reg key: " + Logger::toUtf8(kGuestKeys[i])), i <= hit ? 1u : 0u);
        }
        EXPECT_EQ(evidenceText(evidence), "registry key: HKLM\\" + Logger::toUtf8(kGuestKeys[hit]) + "\n");
        stop();
    }
}

TEST_F(VirtualBoxChecks, KeysElsewhereOrUnreadableAreNoSign) {
    addRegistryKey(profile, L"HKCU", L"SOFTWARE\\Oracle\\VirtualBox Guest Additions");
    addRegistryKey(profile, L"HKLM", L"SYSTEM\\CurrentControlSet\\Services\\VBoxGuest");
    addRegistryKey(profile, L"HKLM", L"HARDWARE\\ACPI\\DSDT\\VBOX_");
    addRegistryKey(profile, L"HKLM", L"SYSTEM\\ControlSet001\\Services\\VBoxSF").accessDenied = true;
    start();
    LogCapture log;
    EXPECT_FALSE(detector.checkRegistryKeys());
    EXPECT_EQ(machine().countCalls("RegOpenKeyExW"), 9u);
    EXPECT_EQ(log.countLines("Checking reg key: SYSTEM\\ControlSet001\\Services\\VBoxVideo"), 1u);
}

// --- registry values ---

const wchar_t* const kSystemKey = L"HARDWARE\\Description\\System";
const wchar_t* const kScsiKey = L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0";

TEST_F(VirtualBoxChecks, EachValueNamesVirtualBoxInItsOwnWay) {
    struct Case {
        const wchar_t* key;
        const wchar_t* name;
        uint32_t type;
        std::vector<std::wstring> strings;
    };
    const Case cases[] = {
        {kScsiKey, L"Identifier", REG_SZ, {L"vbox HARDDISK   1.0 "}},
        {kSystemKey, L"SystemBiosVersion", REG_MULTI_SZ, {L"VBOX   - 1", L"Default System BIOS"}},
        {kSystemKey, L"VideoBiosVersion", REG_MULTI_SZ, {L"Oracle VM VirtualBox VBE Adapter"}},
        {kSystemKey, L"SystemBiosDate", REG_SZ, {L"06/23/99"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Logger::toUtf8(c.name));
        profile = physicalMachineWithoutSigns();
        auto& key = addRegistryKey(profile, L"HKLM", c.key);
        if (c.type == REG_SZ) {
            addStringValue(key, c.name, c.strings[0]);
        } else {
            addMultiStringValue(key, c.name, c.strings);
        }
        start();
        diagnostics::EvidenceCollector evidence;
        LogCapture log;
        EXPECT_TRUE(detector.checkRegistryValues());
        EXPECT_THAT(evidenceText(evidence), HasSubstr("registry value: " + Logger::toUtf8(c.name)));
        EXPECT_EQ(log.text(), "") << "the value check logs nothing";
        stop();
    }
}

TEST_F(VirtualBoxChecks, OnlyTheFirstStringOfAMultiStringIsSearched) {
    addMultiStringValue(addRegistryKey(profile, L"HKLM", kSystemKey), L"SystemBiosVersion",
                        {L"DELL   - 1072009", L"VBOX   - 1"});
    start();
    EXPECT_FALSE(detector.checkRegistryValues());
}

TEST_F(VirtualBoxChecks, ValueDataIsReadUpTo260BytesAndNoFurther) {
    // 125 characters, "VBOX" and the NUL: 260 bytes.
    addStringValue(addRegistryKey(profile, L"HKLM", kScsiKey), L"Identifier", std::wstring(125, L' ') + L"VBOX");
    start();
    EXPECT_TRUE(detector.checkRegistryValues());
    stop();

    // 261 bytes: ERROR_MORE_DATA, although "VBOX" leads the text.
    profile = physicalMachineWithoutSigns();
    std::vector<uint8_t> data = registryStringBytes(L"VBOX" + std::wstring(126, L' '));
    data.resize(261);
    addRawValue(addRegistryKey(profile, L"HKLM", kScsiKey), L"Identifier", REG_SZ, data);
    start();
    EXPECT_FALSE(detector.checkRegistryValues());
    EXPECT_EQ(machine().countCalls("RegQueryValueExW"), 4u) << "every entry is still tried";
}

TEST_F(VirtualBoxChecks, ValueTypeIsNotLookedAt) {
    addRawValue(addRegistryKey(profile, L"HKLM", kSystemKey), L"SystemBiosDate", REG_BINARY,
                registryStringBytes(L"06/23/99"));
    start();
    EXPECT_TRUE(detector.checkRegistryValues());
}

// --- files ---

const wchar_t* const kGuestFiles[] = {
    L"System32\\drivers\\VBoxMouse.sys", L"System32\\drivers\\VBoxGuest.sys", L"System32\\drivers\\VBoxSF.sys",
    L"System32\\drivers\\VBoxVideo.sys", L"System32\\vboxdisp.dll",           L"System32\\vboxhook.dll",
    L"System32\\vboxmrxnp.dll",          L"System32\\vboxogl.dll",            L"System32\\vboxoglarrayspu.dll",
    L"System32\\vboxoglcrutil.dll",      L"System32\\vboxoglerrorspu.dll",    L"System32\\vboxoglfeedbackspu.dll",
    L"System32\\vboxoglpackspu.dll",     L"System32\\vboxoglpassthroughspu.dll", L"System32\\vboxservice.exe",
    L"System32\\vboxtray.exe",           L"System32\\VBoxControl.exe",
};

TEST_F(VirtualBoxChecks, EveryGuestFileUnderTheWindowsDirectoryIsASign) {
    for (const wchar_t* file : kGuestFiles) {
        SCOPED_TRACE(Logger::toUtf8(file));
        profile = physicalMachineWithoutSigns();
        profile.system.windowsDirectory = L"D:\\WINNT";
        addDirectory(profile, L"D:\\WINNT\\System32\\drivers");
        addFile(profile, std::wstring(L"D:\\WINNT\\") + file);
        addFile(profile, std::wstring(L"C:\\Windows\\") + file);  // not this machine's Windows directory
        start();
        diagnostics::EvidenceCollector evidence;
        EXPECT_TRUE(detector.checkFiles());
        EXPECT_EQ(evidenceText(evidence), "file: D:\\WINNT\\" + Logger::toUtf8(file) + "\n");
        stop();
    }
}

TEST_F(VirtualBoxChecks, FolderNamedLikeADriverOrAnUnreadablePathIsNoFile) {
    addDirectory(profile, L"C:\\Windows\\System32\\drivers\\VBoxMouse.sys");
    addPathError(profile, L"C:\\Windows\\System32\\drivers\\VBoxGuest.sys", ERROR_ACCESS_DENIED);
    addPathError(profile, L"C:\\Windows\\System32\\vboxtray.exe", ERROR_SHARING_VIOLATION);
    start();
    EXPECT_FALSE(detector.checkFiles());
    EXPECT_EQ(machine().countCalls("GetFileAttributesW"), 17u);
}

TEST_F(VirtualBoxChecks, FileWalkOfA32BitProcessRunsWithRedirectionOff) {
    profile.system.wow64 = true;
    addFile(profile, L"C:\\Windows\\System32\\VBoxControl.exe");
    start();
    EXPECT_TRUE(detector.checkFiles());
    std::vector<std::string> order;
    for (const auto& call : machine().calls()) {
        if (call.function == "Wow64DisableWow64FsRedirection" || call.function == "Wow64RevertWow64FsRedirection" ||
            call.function == "GetFileAttributesW")
            order.push_back(call.function);
    }
    ASSERT_EQ(order.size(), 19u);
    EXPECT_EQ(order.front(), "Wow64DisableWow64FsRedirection");
    EXPECT_EQ(order.back(), "Wow64RevertWow64FsRedirection");
}

// --- folders ---

TEST_F(VirtualBoxChecks, GuestAdditionsFolderUnderProgramFilesIsASignAndAFileOfItsNameIsNot) {
    addDirectory(profile, L"C:\\Program Files\\Oracle\\VirtualBox Guest Additions");
    start();
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkDirectories());
    EXPECT_THAT(evidenceText(evidence), HasSubstr("folder: C:\\Program Files\\oracle\\virtualbox guest additions"));
    stop();

    profile = physicalMachineWithoutSigns();
    addDirectory(profile, L"C:\\Program Files\\Oracle");
    addFile(profile, L"C:\\Program Files\\Oracle\\VirtualBox Guest Additions");
    start();
    EXPECT_FALSE(detector.checkDirectories());
}

TEST_F(VirtualBoxChecks, A32BitProcessLooksUnderTheNativeProgramFilesFolder) {
    profile.system.wow64 = true;
    profile.system.programFiles = L"C:\\Program Files (x86)";
    profile.system.programW6432 = L"C:\\Program Files";
    addDirectory(profile, L"C:\\Program Files (x86)\\Oracle\\VirtualBox Guest Additions");
    start();
    EXPECT_FALSE(detector.checkDirectories());
    stop();

    addDirectory(profile, L"C:\\Program Files\\Oracle\\VirtualBox Guest Additions");
    start();
    EXPECT_TRUE(detector.checkDirectories());
    EXPECT_EQ(machine().countCalls("Wow64DisableWow64FsRedirection"), 0u) << "folders need no redirection change";
}

// --- devices ---

TEST_F(VirtualBoxChecks, EachDeviceOrPipeThatOpensIsASign) {
    for (const wchar_t* name : {L"\\\\.\\VBoxMiniRdrDN", L"\\\\.\\VBoxGuest", L"\\\\.\\pipe\\VBoxMiniRdDN",
                                L"\\\\.\\VBoxTrayIPC", L"\\\\.\\pipe\\VBoxTrayIPC"}) {
        SCOPED_TRACE(Logger::toUtf8(name));
        profile = physicalMachineWithoutSigns();
        addDevice(profile, name);
        start();
        diagnostics::EvidenceCollector evidence;
        EXPECT_TRUE(detector.checkDevices());
        EXPECT_EQ(evidenceText(evidence), "device: " + Logger::toUtf8(name) + "\n");
        stop();
    }
}

TEST_F(VirtualBoxChecks, RedirectorDeviceAndPipeNamesAreNotInterchangeable) {
    addDevice(profile, L"\\\\.\\VBoxMiniRdDN");
    addDevice(profile, L"\\\\.\\pipe\\VBoxMiniRdrDN");
    addDevice(profile, L"\\\\.\\pipe\\VBoxTrayIPC", ERROR_PIPE_BUSY);  // every instance taken
    addDevice(profile, L"\\\\.\\VBoxGuest", ERROR_ACCESS_DENIED);
    start();
    EXPECT_FALSE(detector.checkDevices());
    EXPECT_EQ(machine().countCalls("CreateFileW"), 5u);
}

// --- windows ---

TEST_F(VirtualBoxChecks, TrayWindowIsFoundByClassOrByTitleAndBothLookupsAreMade) {
    addWindow(profile, L"VBoxTrayToolWndClass", L"");
    start();
    EXPECT_TRUE(detector.checkWindows());
    EXPECT_EQ(machine().countCalls("FindWindowW"), 2u);
    stop();

    profile = physicalMachineWithoutSigns();
    addWindow(profile, L"SomeOtherClass", L"VBoxTrayToolWnd");
    start();
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkWindows());
    EXPECT_EQ(evidenceText(evidence), "window: title VBoxTrayToolWnd\n");
    stop();

    profile = physicalMachineWithoutSigns();
    addWindow(profile, L"VBoxTrayToolWnd", L"VBoxTrayToolWndClass");  // class and title swapped
    start();
    EXPECT_FALSE(detector.checkWindows());
}

// --- network providers ---

TEST_F(VirtualBoxChecks, SharedFoldersProviderNameCountsWholeAndInAnyCase) {
    addNetworkProvider(profile, WNNC_NET_RDR2SAMPLE, L"virtualbox shared folders");
    start();
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detector.checkNetworkProviders());
    EXPECT_EQ(evidenceText(evidence), "network provider: virtualbox shared folders\n");
    stop();

    profile = physicalMachineWithoutSigns();
    addNetworkProvider(profile, WNNC_NET_RDR2SAMPLE, L"VirtualBox Shared Folders (old)");
    start();
    EXPECT_FALSE(detector.checkNetworkProviders());
    stop();

    profile = physicalMachineWithoutSigns();
    addNetworkProvider(profile, WNNC_NET_LANMAN, L"VirtualBox Shared Folders");  // another network type
    start();
    EXPECT_FALSE(detector.checkNetworkProviders());
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
