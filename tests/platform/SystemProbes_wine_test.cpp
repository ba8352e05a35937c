// The system probes and the shared probing steps against Wine's real Win32:
// processes, adapters, firmware tables, registry, file system and pipes.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/Logger.h"
#include "platform/SystemProbes.h"
#include "vmdetection/CommonChecks.h"

namespace Corvane::platform {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using utils::vmdetection::anyDeviceOpens;
using utils::vmdetection::pathIsDirectory;
using utils::vmdetection::pathIsFile;
using utils::vmdetection::registryKeyExists;
using utils::vmdetection::registryValueContains;

fs::path uniqueTempPath(const std::string& stem) {
    static int serial = 0;
    return fs::temp_directory_path() /
           (stem + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++));
}

// A folder of its own for one test, removed with everything in it.
class TempFolder {
public:
    TempFolder() : path_(uniqueTempPath("corvane-probes")) { fs::create_directories(path_); }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The library's log written to a fresh folder while the object lives.
class LogCapture {
public:
    LogCapture() { Logger::setFolder(folder_.path().wstring()); }
    ~LogCapture() { Logger::setFolder(L""); }
    std::string text() const {
        std::ifstream file(folder_.path() / "CorvaneLog.txt", std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        std::string text = content.str();
        std::erase(text, '\r');  // the log is written in text mode
        return text;
    }

private:
    TempFolder folder_;
};

fs::path testProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

// The sleeping program, copied under another name and running until the object ends.
class RunningCopy {
public:
    RunningCopy(const fs::path& folder, const std::wstring& exeName) : path_(folder / exeName) {
        fs::copy_file(testProgramFolder() / "sleeper.exe", path_, fs::copy_options::overwrite_existing);
        std::wstring commandLine = L"\"" + path_.wstring() + L"\" 30";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(path_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_) != FALSE;
    }
    ~RunningCopy() { stop(); }

    bool started() const { return started_; }
    DWORD pid() const { return started_ ? process_.dwProcessId : 0; }

    void stop() {
        if (!started_) return;
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        started_ = false;
    }

private:
    fs::path path_;
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

// Toolhelp sees a new or ended process a moment later under Wine.
DWORD waitForProcessAnswer(const std::wstring& exeName, bool running) {
    DWORD pid = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        pid = isProcessRunning(exeName);
        if ((pid != 0) == running) break;
        std::this_thread::sleep_for(50ms);
    }
    return pid;
}

TEST(SystemProbesWine, ProcessProbeFindsARunningProgramOnlyUnderItsExactName) {
    TempFolder folder;
    RunningCopy guestService(folder.path(), L"vboxservice.exe");
    ASSERT_TRUE(guestService.started());

    EXPECT_EQ(waitForProcessAnswer(L"vboxservice.exe", true), guestService.pid());
    EXPECT_EQ(isProcessRunning(L"VBoxService.exe"), 0u);
    EXPECT_EQ(isProcessRunning(L"vboxservice"), 0u);
    EXPECT_EQ(isProcessRunning(L"vboxservice.exe "), 0u);

    guestService.stop();
    EXPECT_EQ(waitForProcessAnswer(L"vboxservice.exe", false), 0u);
}

// The adapter list as GetAdaptersInfo gives it with a buffer large enough from the start.
struct DirectListing {
    ULONG result = 0;
    std::vector<std::vector<uint8_t>> addresses;
};

DirectListing listAdaptersDirectly() {
    DirectListing listing;
    ULONG length = 0;
    GetAdaptersInfo(nullptr, &length);
    std::vector<uint8_t> buffer(length ? length : sizeof(IP_ADAPTER_INFO));
    length = static_cast<ULONG>(buffer.size());
    auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    listing.result = GetAdaptersInfo(first, &length);
    if (listing.result != ERROR_SUCCESS) return listing;
    for (const IP_ADAPTER_INFO* adapter = first; adapter; adapter = adapter->Next) {
        listing.addresses.emplace_back(adapter->Address, adapter->Address + adapter->AddressLength);
    }
    return listing;
}

TEST(SystemProbesWine, AdapterListAgreesWithTheSystemsOwnListingOrFailsCleanly) {
    const NetworkAdapterList list = getNetworkAdapters();
    const DirectListing direct = listAdaptersDirectly();

    EXPECT_EQ(list.valid, direct.result == ERROR_SUCCESS);
    if (!list.usable()) return;  // no adapters here: a clean failure, nothing to walk
    std::vector<std::vector<uint8_t>> seen;
    for (const IP_ADAPTER_INFO* adapter = list.adapters; adapter; adapter = adapter->Next) {
        ASSERT_LE(adapter->AddressLength, static_cast<UINT>(MAX_ADAPTER_ADDRESS_LENGTH));
        ASSERT_NE(std::memchr(adapter->Description, 0, sizeof adapter->Description), nullptr);
        seen.emplace_back(adapter->Address, adapter->Address + adapter->AddressLength);
    }
    EXPECT_EQ(seen, direct.addresses);
}

TEST(SystemProbesWine, RawSmbiosTableIsWinesOwnWithItsHeaderLength) {
    DWORD size = 0;
    FirmwareBuffer table(getFirmwareTable(kProviderRsmb, 0, size));
    ASSERT_TRUE(table);
    ASSERT_GE(size, 8u);
    uint32_t structuresLength = 0;
    std::memcpy(&structuresLength, table.get() + 4, 4);
    EXPECT_EQ(size, 8u + structuresLength);
    EXPECT_EQ(table.get()[8], 0) << "Wine's table starts with the BIOS information";

    // The structures chain up to the end-of-table structure inside the reported length.
    size_t offset = 8;
    bool endOfTable = false;
    while (offset + 4 <= size && !endOfTable) {
        endOfTable = table.get()[offset] == 127;
        offset += table.get()[offset + 1];
        while (offset + 1 < size && (table.get()[offset] != 0 || table.get()[offset + 1] != 0)) ++offset;
        offset += 2;
    }
    EXPECT_TRUE(endOfTable);
    EXPECT_LE(offset, static_cast<size_t>(size));
}

TEST(SystemProbesWine, AcpiEnumerationIsEmptyAndAnAcpiTableReadFailsWithItsLogLine) {
    std::vector<uint8_t> ids(kAcpiIdListBytes, 0);
    EXPECT_EQ(enumerateFirmwareTables(ids.data()), 0);
    EXPECT_EQ(ids, std::vector<uint8_t>(kAcpiIdListBytes, 0));

    LogCapture log;
    DWORD size = 1234;
    FirmwareBuffer table(getFirmwareTable(kProviderAcpi, 0x54445344 /* DSDT */, size));
    EXPECT_FALSE(table);
    EXPECT_EQ(size, 1234u) << "the size is only written on success";
    EXPECT_NE(log.text().find("First call of GetSystemFirmwareTable is failed."), std::string::npos);
}

TEST(SystemProbesWine, A64BitProcessIsNotUnderWow64) {
    forgetWow64Answer();
    EXPECT_FALSE(isRunningUnderWow64());
    EXPECT_FALSE(isRunningUnderWow64());  // the cached answer
}

// A key of the test's own, deleted with its subkeys afterwards.
class TestKey {
public:
    TestKey(HKEY root, const wchar_t* path) : root_(root), path_(path) {
        RegDeleteTreeW(root_, path_);
        created_ = RegCreateKeyExW(root_, path_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle_, nullptr) ==
                   ERROR_SUCCESS;
    }
    ~TestKey() {
        if (created_) RegCloseKey(handle_);
        RegDeleteTreeW(root_, path_);
    }
    bool created() const { return created_; }

    // Stores exactly `bytes` bytes of the characters (NULs included).
    void setValue(const wchar_t* name, DWORD type, const std::wstring& characters, DWORD bytes) {
        ASSERT_EQ(RegSetValueExW(handle_, name, 0, type, reinterpret_cast<const BYTE*>(characters.data()), bytes),
                  ERROR_SUCCESS);
    }

private:
    HKEY root_;
    const wchar_t* path_;
    HKEY handle_ = nullptr;
    bool created_ = false;
};

constexpr const wchar_t* kTestKey = L"SOFTWARE\\CorvaneProbeTest";

TEST(SystemProbesWine, RegistryKeysAreFoundWhileTheyExistUnderEitherRoot) {
    {
        TestKey machineKey(HKEY_LOCAL_MACHINE, kTestKey);
        TestKey userKey(HKEY_CURRENT_USER, kTestKey);
        ASSERT_TRUE(machineKey.created());
        ASSERT_TRUE(userKey.created());
        EXPECT_TRUE(registryKeyExists(HKEY_LOCAL_MACHINE, kTestKey));
        EXPECT_TRUE(registryKeyExists(HKEY_CURRENT_USER, kTestKey));
        EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\CorvaneProbeTest\\Missing"));
    }
    EXPECT_FALSE(registryKeyExists(HKEY_LOCAL_MACHINE, kTestKey));
    EXPECT_FALSE(registryKeyExists(HKEY_CURRENT_USER, kTestKey));
}

TEST(SystemProbesWine, RegistryValueReadStopsAt260BytesAndAtTheFirstString) {
    TestKey key(HKEY_LOCAL_MACHINE, kTestKey);
    ASSERT_TRUE(key.created());

    key.setValue(L"Plain", REG_SZ, std::wstring(L"Version vbox 1.0") + L'\0', 17 * 2);
    // 129 characters and the NUL: exactly 260 bytes, still read.
    key.setValue(L"Exact", REG_SZ, std::wstring(125, L'x') + L"VBOX" + L'\0', 260);
    // 130 characters and the NUL: 262 bytes, not read at all.
    key.setValue(L"Long", REG_SZ, L"VBOX" + std::wstring(126, L'x') + L'\0', 262);
    key.setValue(L"Multi", REG_MULTI_SZ, std::wstring(L"first") + L'\0' + L"VBOX second" + L'\0' + L'\0', 19 * 2);

    EXPECT_TRUE(registryValueContains({kTestKey, L"Plain", L"VBOX"})) << "case-insensitive";
    EXPECT_TRUE(registryValueContains({kTestKey, L"Exact", L"VBOX"}));
    EXPECT_FALSE(registryValueContains({kTestKey, L"Long", L"VBOX"}));
    EXPECT_FALSE(registryValueContains({kTestKey, L"Multi", L"VBOX"}));
    EXPECT_TRUE(registryValueContains({kTestKey, L"Multi", L"first"}));
    EXPECT_FALSE(registryValueContains({kTestKey, L"Missing", L"VBOX"}));
    EXPECT_FALSE(registryValueContains({L"SOFTWARE\\CorvaneProbeTest\\Missing", L"Plain", L"VBOX"}));
}

TEST(SystemProbesWine, FileAndFolderTestsTellTheKindsApartAndTreatBadPathsAsAbsent) {
    TempFolder folder;
    const fs::path file = folder.path() / "VBoxMouse.sys";
    const fs::path directory = folder.path() / "VBoxGuest.sys";
    std::ofstream(file) << "driver";
    fs::create_directory(directory);

    EXPECT_TRUE(pathIsFile(file.wstring()));
    EXPECT_FALSE(pathIsDirectory(file.wstring()));
    EXPECT_TRUE(pathIsDirectory(directory.wstring()));
    EXPECT_FALSE(pathIsFile(directory.wstring())) << "a folder named like a driver file is no file";
    EXPECT_TRUE(pathIsDirectory(folder.path().wstring() + L"\\"));

    const std::wstring missing = (folder.path() / "missing" / "VBoxSF.sys").wstring();
    EXPECT_FALSE(pathIsFile(missing));
    EXPECT_FALSE(pathIsDirectory(missing));
    EXPECT_FALSE(pathIsFile(folder.path().wstring() + L"\\bad<name>|.sys"));
    EXPECT_FALSE(pathIsFile(L"\\\\nosuchserver\\share\\VBoxSF.sys"));
    EXPECT_FALSE(pathIsFile(folder.path().wstring() + L"\\" + std::wstring(400, L'a')));
    EXPECT_FALSE(pathIsFile(L""));
}

// A named pipe server with one instance, closed afterwards.
class PipeServer {
public:
    explicit PipeServer(const wchar_t* name)
        : handle_(CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 512, 512, 0, nullptr)) {}
    ~PipeServer() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool listening() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

TEST(SystemProbesWine, DeviceStepOpensAnExistingPipeAndNotABusyOrMissingOne) {
    constexpr const wchar_t* kPipe = L"\\\\.\\pipe\\CorvaneProbeTestPipe";
    EXPECT_FALSE(anyDeviceOpens({kPipe}));

    PipeServer server(kPipe);
    ASSERT_TRUE(server.listening());
    EXPECT_TRUE(anyDeviceOpens({L"\\\\.\\pipe\\CorvaneNoSuchPipe", kPipe}));

    PipeServer busy(L"\\\\.\\pipe\\CorvaneBusyPipe");
    ASSERT_TRUE(busy.listening());
    HANDLE client = CreateFileW(L"\\\\.\\pipe\\CorvaneBusyPipe", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(anyDeviceOpens({L"\\\\.\\pipe\\CorvaneBusyPipe"})) << "its only instance is taken";
    CloseHandle(client);
}

}  // namespace
}  // namespace Corvane::platform
