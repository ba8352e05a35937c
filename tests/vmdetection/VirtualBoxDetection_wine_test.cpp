// The VirtualBox detector against Wine's real Win32: plain Wine shows no
// VirtualBox sign but an empty ACPI enumeration; signs the tests put in place
// (a process, registry keys and values, files, folders, a pipe) are found.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "diagnostics/Evidence.h"
#include "diagnostics/Logger.h"
#include "platform/SystemProbes.h"
#include "platform/WMIHelper.h"
#include "vmdetection/VirtualBoxDetection.h"

namespace Corvane::utils::vmdetection {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path uniqueTempPath(const std::string& stem) {
    static int serial = 0;
    return fs::temp_directory_path() /
           (stem + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++));
}

class LogCapture {
public:
    LogCapture() : folder_(uniqueTempPath("corvane-vbox-log")) {
        fs::create_directories(folder_);
        Logger::setFolder(folder_.wstring());
    }
    ~LogCapture() {
        Logger::setFolder(L"");
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string text() const {
        std::ifstream file(folder_ / "CorvaneLog.txt", std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        std::string text = content.str();
        std::erase(text, '\r');  // the log is written in text mode
        return text;
    }

private:
    fs::path folder_;
};

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

bool hasArtefact(const diagnostics::EvidenceCollector& evidence, const std::string& kind, const std::string& value) {
    for (const auto& artefact : evidence.artefacts()) {
        if (artefact.kind == kind && artefact.value == value) return true;
    }
    return false;
}

fs::path windowsFolder() {
    wchar_t buffer[MAX_PATH] = {};
    GetWindowsDirectoryW(buffer, MAX_PATH);
    return buffer;
}

// A path the test creates and removes (a leftover of a crashed run included).
class PlacedPath {
public:
    enum class Kind { File, Directory };
    PlacedPath(fs::path path, Kind kind) : path_(std::move(path)) {
        remove();
        fs::create_directories(kind == Kind::File ? path_.parent_path() : path_);
        if (kind == Kind::File) std::ofstream(path_) << "placed by a test";
    }
    ~PlacedPath() { remove(); }

private:
    void remove() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path path_;
};

// The detector without WMI: the WMI checks answer false at once.
VirtualBoxDetection detectorWithoutWmi() { return VirtualBoxDetection(nullptr); }

TEST(VirtualBoxDetectionWine, PlainWineShowsOnlyTheEmptyAcpiEnumeration) {
    auto detector = detectorWithoutWmi();
    EXPECT_FALSE(detector.checkProcesses());
    EXPECT_FALSE(detector.checkRegistryKeys());
    EXPECT_FALSE(detector.checkRegistryValues());
    EXPECT_FALSE(detector.checkFiles());
    EXPECT_FALSE(detector.checkDirectories());
    EXPECT_FALSE(detector.checkDevices());
    EXPECT_FALSE(detector.checkNetworkProviders());
    // Wine lists no ACPI table at all, which counts as a VirtualBox sign.
    EXPECT_TRUE(detector.checkAcpiTables());
}

TEST(VirtualBoxDetectionWine, SmbiosCheckAgreesWithASearchOfWinesTable) {
    DWORD size = 0;
    platform::FirmwareBuffer table(platform::getFirmwareTable(platform::kProviderRsmb, 0, size));
    ASSERT_TRUE(table);
    bool holdsPattern = false;
    for (const char* pattern : {"VirtualBox", "vbox", "VBOX"}) {
        holdsPattern |= platform::findBytes(table.get(), size, reinterpret_cast<const uint8_t*>(pattern),
                                            std::strlen(pattern)) >= 0;
    }
    EXPECT_EQ(detectorWithoutWmi().checkSmbiosTable(), holdsPattern);
}

TEST(VirtualBoxDetectionWine, RunningTrayProgramIsFoundAfterBothProgressLines) {
    const fs::path folder = uniqueTempPath("corvane-vbox-tray");
    fs::create_directories(folder);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path tray = folder / "vboxtray.exe";
    fs::copy_file(fs::path(self).parent_path() / "sleeper.exe", tray);

    std::wstring commandLine = L"\"" + tray.wstring() + L"\" 30";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(tray.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));

    auto detector = detectorWithoutWmi();
    bool found = false;
    for (int attempt = 0; attempt < 100 && !found; ++attempt) {
        found = platform::isProcessRunning(L"vboxtray.exe") != 0;
        if (!found) std::this_thread::sleep_for(50ms);
    }
    {
        LogCapture log;
        diagnostics::EvidenceCollector evidence;
        EXPECT_TRUE(detector.checkProcesses());
        EXPECT_TRUE(hasArtefact(evidence, "process", "vboxtray.exe"));
        const std::string text = log.text();
        EXPECT_EQ(occurrences(text, "Checking VirtualBox process: vboxservice.exe\n"), 1u);
        EXPECT_EQ(occurrences(text, "Checking VirtualBox process: vboxtray.exe\n"), 1u);
    }

    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// A key under HKEY_LOCAL_MACHINE made for one test and deleted afterwards.
class MachineKey {
public:
    explicit MachineKey(const wchar_t* path) : path_(path) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_);
        HKEY handle = nullptr;
        created_ = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                                   nullptr) == ERROR_SUCCESS;
        if (created_) RegCloseKey(handle);
    }
    ~MachineKey() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_); }
    bool created() const { return created_; }

private:
    const wchar_t* path_;
    bool created_ = false;
};

TEST(VirtualBoxDetectionWine, GuestAdditionsKeyIsFoundAndTheWalkStopsThere) {
    auto detector = detectorWithoutWmi();
    {
        MachineKey additions(L"SOFTWARE\\Oracle\\VirtualBox Guest Additions");
        ASSERT_TRUE(additions.created());
        LogCapture log;
        EXPECT_TRUE(detector.checkRegistryKeys());
        const std::string text = log.text();
        EXPECT_NE(text.find("Checking reg key: SOFTWARE\\Oracle\\VirtualBox Guest Additions\n"), std::string::npos);
        EXPECT_EQ(text.find("VBoxGuest"), std::string::npos) << "keys after the hit are not tried";
    }
    LogCapture log;
    EXPECT_FALSE(detector.checkRegistryKeys());
    EXPECT_EQ(occurrences(log.text(), "Checking reg key: "), 9u);
}

TEST(VirtualBoxDetectionWine, BiosVersionValueNamesVirtualBox) {
    // HARDWARE\Description\System exists on Wine; the value lives until the server stops.
    HKEY system = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\Description\\System", 0, KEY_ALL_ACCESS, &system),
              ERROR_SUCCESS);
    const std::wstring versions = std::wstring(L"VBOX   - 1") + L'\0' + L"VirtualBox" + L'\0' + L'\0';
    ASSERT_EQ(RegSetValueExW(system, L"SystemBiosVersion", 0, REG_MULTI_SZ,
                             reinterpret_cast<const BYTE*>(versions.data()),
                             static_cast<DWORD>(versions.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);

    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detectorWithoutWmi().checkRegistryValues());
    EXPECT_TRUE(hasArtefact(evidence, "registry value", "SystemBiosVersion"));

    RegDeleteValueW(system, L"SystemBiosVersion");
    RegCloseKey(system);
    EXPECT_FALSE(detectorWithoutWmi().checkRegistryValues());
}

TEST(VirtualBoxDetectionWine, DriverFileIsFoundButAFolderOfItsNameIsNot) {
    const fs::path drivers = windowsFolder() / "System32" / "drivers";
    auto detector = detectorWithoutWmi();
    {
        PlacedPath folder(drivers / "VBoxMouse.sys", PlacedPath::Kind::Directory);
        EXPECT_FALSE(detector.checkFiles());
    }
    {
        PlacedPath file(drivers / "VBoxSF.sys", PlacedPath::Kind::File);
        diagnostics::EvidenceCollector evidence;
        EXPECT_TRUE(detector.checkFiles());
        ASSERT_EQ(evidence.artefacts().size(), 1u);
        EXPECT_EQ(evidence.artefacts()[0].kind, "file");
        EXPECT_NE(evidence.artefacts()[0].value.find("VBoxSF.sys"), std::string::npos);
    }
    EXPECT_FALSE(detector.checkFiles());
}

TEST(VirtualBoxDetectionWine, GuestAdditionsFolderUnderProgramFilesIsFound) {
    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE));
    const fs::path oracle = fs::path(programFiles) / "oracle";
    auto detector = detectorWithoutWmi();
    {
        PlacedPath notAFolder(oracle / "virtualbox guest additions", PlacedPath::Kind::File);
        EXPECT_FALSE(detector.checkDirectories());
    }
    {
        PlacedPath folder(oracle / "virtualbox guest additions", PlacedPath::Kind::Directory);
        EXPECT_TRUE(detector.checkDirectories());
    }
    std::error_code ignored;
    fs::remove(oracle, ignored);
    EXPECT_FALSE(detector.checkDirectories());
}

TEST(VirtualBoxDetectionWine, TrayPipeIsFound) {
    HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\VBoxTrayIPC", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 512,
                                   512, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    diagnostics::EvidenceCollector evidence;
    EXPECT_TRUE(detectorWithoutWmi().checkDevices());
    EXPECT_TRUE(hasArtefact(evidence, "device", "\\\\.\\pipe\\VBoxTrayIPC"));
    CloseHandle(pipe);
}

// Wine's WMI knows every class the checks ask for and accepts every query
// text (a rejected query would drop the connection); none of its rows shows
// VirtualBox.
TEST(VirtualBoxDetectionWine, WmiChecksRunTheirQueriesAndFindNothing) {
    std::thread([] {
        platform::WMIHelper wmi(L"ROOT\\CIMV2");
        ASSERT_TRUE(wmi.isConnected());
        VirtualBoxDetection detector(&wmi);
        LogCapture log;
        EXPECT_FALSE(detector.checkWmiMacAddresses());
        EXPECT_FALSE(detector.checkEventLogSources());
        EXPECT_FALSE(detector.checkWmiPnpEntities());
        EXPECT_FALSE(detector.checkWmiPciDeviceId());
        EXPECT_FALSE(detector.checkWmiBuses());
        EXPECT_FALSE(detector.checkWmiBaseBoard());
        EXPECT_FALSE(detector.checkWmiPnpDevices());
        EXPECT_TRUE(wmi.hasServices()) << log.text();
        EXPECT_EQ(wmi.getStatus(), S_OK);
        const std::string text = log.text();
        EXPECT_EQ(text.find("Query failed"), std::string::npos) << text;
        EXPECT_NE(text.find("SELECT LogfileName, Sources FROM Win32_NTEventlogFile WHERE LogfileName = 'System'"),
                  std::string::npos);
        EXPECT_NE(text.find("SELECT DeviceID FROM Win32_PnPEntity\n"), std::string::npos);
    }).join();
}

}  // namespace
}  // namespace Corvane::utils::vmdetection
