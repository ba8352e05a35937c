// The system probes against simulated machines: the buffer protocols of the
// adapter list and the firmware tables, exact process names, the WoW64 answer
// and its cache per machine, the redirection guard, and the probes' log lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/SystemProbes.h"
#include "support/LogCapture.h"
#include "support/SimulatedMachineTest.h"

namespace Corvane::platform {
namespace {

using profile::addAcpiTable;
using profile::addAdapter;
using profile::addProcess;
using profile::removeProcess;
using profile::setSmbios;
using testing::LogCapture;
using ::testing::ElementsAre;

constexpr const char* kAllocationFailed = "Failed to allocate memory needed to call GetAdaptersinfo.";

class SystemProbes : public Corvane::testing::SimulatedMachineTest {};

TEST_F(SystemProbes, AdapterListLargerThanOneRecordIsFetchedAgainWithTheSizeAsked) {
    addAdapter(profile, "08:00:27:12:34:56", "Intel(R) PRO/1000 MT Desktop Adapter");
    addAdapter(profile, "0A:00:27:00:00:11", "VirtualBox Host-Only Ethernet Adapter");
    start();
    {
        const NetworkAdapterList list = getNetworkAdapters();
        ASSERT_TRUE(list.usable());
        std::vector<std::vector<uint8_t>> addresses;
        for (const IP_ADAPTER_INFO* adapter = list.adapters; adapter; adapter = adapter->Next)
            addresses.emplace_back(adapter->Address, adapter->Address + adapter->AddressLength);
        EXPECT_THAT(addresses, ElementsAre(std::vector<uint8_t>{0xD8, 0x9E, 0xF3, 0x4A, 0x1B, 0x7E},
                                           std::vector<uint8_t>{0x08, 0x00, 0x27, 0x12, 0x34, 0x56},
                                           std::vector<uint8_t>{0x0A, 0x00, 0x27, 0x00, 0x00, 0x11}));
        EXPECT_EQ(std::string(list.adapters->Next->Description), "Intel(R) PRO/1000 MT Desktop Adapter");
    }
    const std::string threeRecords = std::to_string(3 * sizeof(IP_ADAPTER_INFO));
    EXPECT_THAT(callArguments("GetAdaptersInfo"), ElementsAre("704", threeRecords));
    EXPECT_THAT(callArguments("HeapAlloc"), ElementsAre("704", threeRecords));
}

// Without memory for the first record nothing is asked; when growing fails the first block is given back
// (TearDown reports it otherwise).  A listing error is not retried: its block is kept and freed with the list.
TEST_F(SystemProbes, NoMemoryOrAListingErrorListsNothingAndOnlyNoMemoryIsLogged) {
    for (const int failingAllocation : {0, 1, -1}) {  // -1: none fails, the listing does
        const bool noMemory = failingAllocation >= 0;
        if (noMemory)
            addAdapter(profile, "08:00:27:12:34:56", "Intel(R) PRO/1000 MT Desktop Adapter");
        else
            profile.adapters.clear();  // GetAdaptersInfo: ERROR_NO_DATA
        start();
        if (noMemory) machine().faults().failHeapAllocAt = failingAllocation;
        LogCapture log;
        {
            const NetworkAdapterList list = getNetworkAdapters();
            EXPECT_EQ(list.adapters == nullptr, noMemory);
            EXPECT_FALSE(list.valid);
            EXPECT_FALSE(list.usable());
        }
        EXPECT_EQ(machine().countCalls("GetAdaptersInfo"), noMemory ? static_cast<size_t>(failingAllocation) : 1u);
        EXPECT_EQ(log.countLines(kAllocationFailed), noMemory ? 1u : 0u);
        stop();
    }
}

TEST_F(SystemProbes, ProcessNamesCompareExactlyAndWholly) {
    removeProcess(profile, L"explorer.exe");
    const DWORD pid = addProcess(profile, L"VBoxService.exe").pid;
    start();
    EXPECT_EQ(isProcessRunning(L"VBoxService.exe"), pid);
    EXPECT_EQ(isProcessRunning(L"vboxservice.exe"), 0u);
    EXPECT_EQ(isProcessRunning(L"VBoxService"), 0u);
    EXPECT_EQ(isProcessRunning(L"VBoxService.exe2"), 0u);
    EXPECT_EQ(isProcessRunning(L"explorer.exe"), 0u);
    EXPECT_EQ(isProcessRunning(L"[System Process]"), 0u) << "the first entry has pid 0";
    EXPECT_NE(isProcessRunning(L"SearchApp.exe"), 0u) << "the last entry is reached";
}

TEST_F(SystemProbes, ProcessSnapshotFailuresAreLoggedAndFindNothing) {
    for (const auto& [snapshotFails, failure] :
         {std::pair{true, "Failed to call CreateToolhelp32Snapshot"}, {false, "Failed to call Process32First"}}) {
        profile.system.toolhelpFails = snapshotFails;
        if (!snapshotFails) profile.processes.clear();  // Process32FirstW has nothing to report
        start();
        LogCapture log;
        EXPECT_EQ(isProcessRunning(L"System"), 0u);
        EXPECT_EQ(log.countLines(failure), 1u);
        stop();
    }
}

// Machine after machine, each asked twice: the answer is its own, kept for
// its binding once known, and asked again while IsWow64Process is missing.
TEST_F(SystemProbes, TheWow64AnswerIsEachBoundMachinesOwnAndKeptForItsBinding) {
    struct Row {
        bool wow64, fails, present, answer;
        size_t lookups;
    };
    for (const Row& row :
         {Row{true, false, true, true, 1}, Row{true, true, true, false, 1}, Row{true, false, false, false, 2},
          Row{false, false, true, false, 1}, Row{true, false, true, true, 1}}) {
        profile.system.wow64 = row.wow64;
        profile.system.isWow64ProcessFails = row.fails;
        profile.system.isWow64ProcessPresent = row.present;
        start();
        LogCapture log;
        EXPECT_EQ(isRunningUnderWow64(), row.answer);
        EXPECT_EQ(isRunningUnderWow64(), row.answer);
        const auto lookups = callArguments("GetProcAddress");
        EXPECT_EQ(static_cast<size_t>(std::count(lookups.begin(), lookups.end(), "IsWow64Process")), row.lookups);
        EXPECT_EQ(log.countLines("Failed to check WoW64."), row.fails ? 1u : 0u);
        stop();
    }
}

// The first call offers 4096 bytes: a larger table needs the second call, whose failure
// gives nothing back and is logged; a table the machine lacks fails the first call.
TEST_F(SystemProbes, FirmwareTablesTakeASecondCallPast4096BytesAndLogEachFailingCall) {
    constexpr const char* kFirst = "First call of GetSystemFirmwareTable is failed.";
    constexpr const char* kSecond = "Second call os GetSystemFirmwareTable is failed.";
    struct Row {
        size_t bytes;
        DWORD acpiTable;  // 0: the SMBIOS table
        bool secondCallFails;
        size_t calls;
        const char* logged;
    };
    constexpr DWORD kXsdt = 0x54445358;  // not on this machine
    for (const Row& row : {Row{4096, 0, false, 1, nullptr}, Row{4097, 0, false, 2, nullptr},
                           Row{4097, 0, true, 2, kSecond}, Row{4097, kXsdt, false, 1, kFirst}}) {
        std::vector<uint8_t> numbered(row.bytes);
        for (size_t i = 0; i < row.bytes; ++i) numbered[i] = static_cast<uint8_t>(i * 7 + 1);
        setSmbios(profile, numbered);
        start();
        machine().faults().firmwareSecondCallFails = row.secondCallFails;
        LogCapture log;
        DWORD size = 99;
        FirmwareBuffer table(getFirmwareTable(row.acpiTable ? kProviderAcpi : kProviderRsmb, row.acpiTable, size));
        ASSERT_EQ(static_cast<bool>(table), !row.logged) << row.bytes;
        EXPECT_EQ(size, row.logged ? 99u : row.bytes);
        if (table) {
            EXPECT_EQ(std::memcmp(table.get(), profile.firmware.rawSmbios->data(), row.bytes), 0);
        }
        EXPECT_EQ(machine().countCalls("GetSystemFirmwareTable"), row.calls);
        for (const char* line : {kFirst, kSecond}) EXPECT_EQ(log.countLines(line), line == row.logged ? 1u : 0u);
        table.reset();
        stop();
    }
}

// The ACPI identifiers come in memory order; without the firmware functions nothing is read or logged.
TEST_F(SystemProbes, AcpiEnumerationListsTheIdentifiersInMemoryOrderWhenTheFunctionsExist) {
    profile.firmware.acpiTables.clear();
    addAcpiTable(profile, "FACP", profile::acpiTableBytes("FACP", "VBOX  ", "VBOXFACP"));
    addAcpiTable(profile, "DSDT", profile::acpiTableBytes("DSDT", "VBOX  ", "VBOXBIOS"));
    for (const bool present : {true, false}) {
        profile.firmware.functionsPresent = present;
        start();
        LogCapture log;
        std::vector<uint8_t> ids(kAcpiIdListBytes, 0);
        EXPECT_EQ(enumerateFirmwareTables(ids.data()), present ? 8 : -1);
        EXPECT_EQ(std::string(ids.begin(), ids.begin() + 8), present ? "FACPDSDT" : std::string(8, '\0'));
        EXPECT_EQ(callArguments("EnumSystemFirmwareTables"), std::vector<std::string>(present ? 1 : 0, "ACPI"));
        DWORD size = 0;
        EXPECT_EQ(FirmwareBuffer(getFirmwareTable(kProviderRsmb, 0, size)) != nullptr, present);
        EXPECT_EQ(log.text(), "");
        EXPECT_EQ(machine().countCalls("LoadLibraryA"), machine().countCalls("FreeLibrary"));
        stop();
    }
}

// Case counts: the product tables' near misses show it.
TEST(FindBytes, FindsThePatternOnlyWhereAllItsBytesLieInside) {
    const std::string data = "xxVBOX";
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    const auto* pattern = reinterpret_cast<const uint8_t*>("VBOX");
    EXPECT_EQ(findBytes(bytes, data.size(), pattern, 4), 2) << "a pattern ending on the last byte";
    EXPECT_EQ(findBytes(bytes, data.size() - 1, pattern, 4), -1) << "one byte short";
    EXPECT_EQ(findBytes(bytes + 2, 4, pattern, 4), 0) << "data exactly the pattern";
    EXPECT_EQ(findBytes(bytes + 2, 3, pattern, 4), -1) << "data shorter than the pattern";
}

}  // namespace
}  // namespace Corvane::platform
