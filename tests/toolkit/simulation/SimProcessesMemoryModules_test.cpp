#include <gmock/gmock.h>

#include <cstring>

#include "support/SimulatedMachineTest.h"

namespace Corvane::testing {
namespace {

using namespace Corvane::profile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SimulatedSystem : public SimulatedMachineTest {
protected:
    const platform::Win32Api& api() { return platform::win32(); }
};

TEST_F(SimulatedSystem, ToolhelpListsEveryProcessThenReportsNoMoreFiles) {
    profile.processes.clear();
    addProcess(profile, L"explorer.exe");
    addProcess(profile, std::wstring(300, L'a'));
    start();
    HANDLE snapshot = api().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry - 4;
    EXPECT_FALSE(api().Process32FirstW(snapshot, &entry));
    EXPECT_EQ(api().GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));

    entry.dwSize = sizeof entry;
    ASSERT_TRUE(api().Process32FirstW(snapshot, &entry));
    EXPECT_STREQ(entry.szExeFile, L"explorer.exe");
    EXPECT_EQ(entry.th32ProcessID, profile.processes[0].pid);
    ASSERT_TRUE(api().Process32NextW(snapshot, &entry));
    EXPECT_EQ(std::wcslen(entry.szExeFile), static_cast<size_t>(MAX_PATH - 1));
    EXPECT_FALSE(api().Process32NextW(snapshot, &entry));
    EXPECT_EQ(api().GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(api().CloseHandle(snapshot));
}

TEST_F(SimulatedSystem, SnapshotFailureAndLeak) {
    profile.system.toolhelpFails = true;
    start();
    EXPECT_EQ(api().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), INVALID_HANDLE_VALUE);
    profile.system.toolhelpFails = false;
    auto& machine = start();
    api().CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    EXPECT_THAT(machine.outstandingResources(), ElementsAre("toolhelp snapshot"));
    discard();
}

TEST_F(SimulatedSystem, HeapAndLocalBlocksAreTrackedAndCanBeMadeToFail) {
    auto& machine = start();
    machine.faults().failHeapAllocAt = 1;
    machine.faults().failLocalAllocAt = 0;
    HANDLE heap = api().GetProcessHeap();
    auto* zeroed = static_cast<unsigned char*>(api().HeapAlloc(heap, HEAP_ZERO_MEMORY, 704));
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(zeroed[703], 0);
    EXPECT_EQ(api().HeapAlloc(heap, 0, 16), nullptr);  // the second allocation fails
    auto* plain = static_cast<unsigned char*>(api().HeapAlloc(heap, 0, 8));
    EXPECT_NE(plain[0], 0);  // not zeroed unless asked
    EXPECT_EQ(api().LocalAlloc(LPTR, 10), nullptr);
    auto* local = static_cast<unsigned char*>(api().LocalAlloc(LPTR, 10));
    EXPECT_EQ(local[9], 0);
    EXPECT_THAT(machine.outstandingResources(),
                ::testing::UnorderedElementsAre("heap block of 704 bytes", "heap block of 8 bytes", "local block of 10 bytes"));
    EXPECT_TRUE(api().HeapFree(heap, 0, zeroed));
    EXPECT_TRUE(api().HeapFree(heap, 0, plain));
    EXPECT_EQ(api().LocalFree(local), nullptr);
    EXPECT_EQ(api().LocalFree(nullptr), nullptr);
    EXPECT_FALSE(api().HeapFree(heap, 0, zeroed));  // twice
    EXPECT_THAT(machine.invalidReleases(), ElementsAre(HasSubstr("HeapFree")));
    discard();
}

TEST_F(SimulatedSystem, MemoryStatusNeedsItsLengthAndCanFail) {
    profile.system.totalPhysicalMemory = 512ull << 20;
    start();
    MEMORYSTATUSEX status{};
    EXPECT_FALSE(api().GlobalMemoryStatusEx(&status));
    status.dwLength = sizeof status;
    ASSERT_TRUE(api().GlobalMemoryStatusEx(&status));
    EXPECT_EQ(status.ullTotalPhys, 512ull << 20);

    profile.system.totalPhysicalMemory.reset();
    start();
    MEMORYSTATUSEX untouched{};
    untouched.dwLength = sizeof untouched;
    EXPECT_FALSE(api().GlobalMemoryStatusEx(&untouched));
    EXPECT_EQ(untouched.ullTotalPhys, 0u);
}

TEST_F(SimulatedSystem, Kernel32ExportsFollowTheProfile) {
    profile.system.kernel32Exports = {"wine_get_unix_file_name"};
    profile.system.wow64 = true;
    auto& machine = start();
    HMODULE byHandle = api().GetModuleHandleW(L"KERNEL32.DLL");
    ASSERT_NE(byHandle, nullptr);
    EXPECT_NE(api().GetProcAddress(byHandle, "wine_get_unix_file_name"), nullptr);
    EXPECT_EQ(api().GetProcAddress(byHandle, "wine_get_dos_file_name"), nullptr);
    EXPECT_EQ(api().GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(machine.outstandingResources().empty());  // GetModuleHandleW takes no reference

    HMODULE loaded = api().LoadLibraryA("Kernel32.dll");
    ASSERT_EQ(loaded, byHandle);
    auto isWow64 = reinterpret_cast<platform::IsWow64ProcessFn>(api().GetProcAddress(loaded, "IsWow64Process"));
    ASSERT_NE(isWow64, nullptr);
    BOOL wow64 = FALSE;
    EXPECT_TRUE(isWow64(api().GetCurrentProcess(), &wow64));
    EXPECT_TRUE(wow64);
    EXPECT_THAT(machine.outstandingResources(), ElementsAre(HasSubstr("Kernel32.dll")));
    EXPECT_TRUE(api().FreeLibrary(loaded));
    EXPECT_FALSE(api().FreeLibrary(loaded));
    EXPECT_EQ(machine.invalidReleases().size(), 1u);
    discard();
}

TEST_F(SimulatedSystem, MissingFunctionsAreNotFound) {
    profile.firmware.functionsPresent = false;
    profile.system.isWow64ProcessPresent = false;
    start();
    HMODULE kernel32 = api().LoadLibraryA("kernel32.dll");
    for (const char* name : {"GetSystemFirmwareTable", "EnumSystemFirmwareTables", "IsWow64Process"})
        EXPECT_EQ(api().GetProcAddress(kernel32, name), nullptr) << name;
    api().FreeLibrary(kernel32);
    EXPECT_EQ(api().LoadLibraryA("ntdll.dll"), nullptr);
}

TEST_F(SimulatedSystem, ProvidersWindowsAndPower) {
    addNetworkProvider(profile, 0x00250000, L"VirtualBox Shared Folders");
    addWindow(profile, L"VBoxTrayToolWndClass", L"VBoxTrayToolWnd");
    profile.system.power = {true, false, false, true, false, false};
    start();
    wchar_t name[8] = {};
    DWORD size = 8;
    EXPECT_EQ(api().WNetGetProviderNameW(0x00250000, name, &size), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 26u);
    wchar_t full[260] = {};
    size = 260;
    EXPECT_EQ(api().WNetGetProviderNameW(0x00250000, full, &size), static_cast<DWORD>(NO_ERROR));
    EXPECT_STREQ(full, L"VirtualBox Shared Folders");
    EXPECT_EQ(api().WNetGetProviderNameW(0x00260000, full, &size), static_cast<DWORD>(ERROR_NO_NETWORK));

    EXPECT_NE(api().FindWindowW(L"vboxtraytoolwndclass", nullptr), nullptr);
    EXPECT_NE(api().FindWindowW(nullptr, L"VBoxTrayToolWnd"), nullptr);
    EXPECT_EQ(api().FindWindowW(L"VBoxTrayToolWndClass", L"Other"), nullptr);

    SYSTEM_POWER_CAPABILITIES power{};
    EXPECT_EQ(api().GetPwrCapabilities(&power), TRUE);
    EXPECT_FALSE(power.SystemS1);
    EXPECT_TRUE(power.SystemS3);
    EXPECT_FALSE(power.ThermalControl);
}

}  // namespace
}  // namespace Corvane::testing
