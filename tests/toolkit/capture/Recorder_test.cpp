// The recorder on simulated machines: what a capture writes down, and that the
// recording of a machine replays to the machine's own explanation.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "toolkit/capture/CorpusFiles.h"
#include "toolkit/capture/ExplanationComparison.h"
#include "toolkit/capture/CaptureMachine.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"
#include "toolkit/simulation/SimulatedMachine.h"

namespace Corvane::capture {
namespace {

using profile::MachineProfile;

// Captures the simulated machine described by `original` and checks that the
// capture left nothing of the machine's unreleased.
MachineProfile captureSimulated(const MachineProfile& original) {
    simulated::SimulatedMachine machine(original);
    MachineProfile recorded;
    {
        auto binding = machine.bind();
        recorded = captureMachine(machine.api());
    }
    const auto leaks = machine.outstandingResources();
    EXPECT_TRUE(leaks.empty()) << "capture left " << leaks.size() << " resources, first: " << (leaks.empty() ? "" : leaks.front());
    EXPECT_TRUE(machine.invalidReleases().empty());
    return recorded;
}

void expectRecordingReplaysLikeTheMachine(const MachineProfile& original) {
    const MachineProfile recorded = profile::parseProfile(profile::toJson(captureSimulated(original)));
    testing::expectSameExplanation(replayMachine(original), replayMachine(recorded));
}

const profile::RegistryValue* findValue(const MachineProfile& machine, const std::wstring& path, const std::wstring& name) {
    for (const auto& key : machine.registry) {
        if (_wcsicmp(key.path.c_str(), path.c_str()) != 0) continue;
        for (const auto& value : key.values) {
            if (_wcsicmp(value.name.c_str(), name.c_str()) == 0) return &value;
        }
    }
    return nullptr;
}

const profile::RegistryKey* findKey(const MachineProfile& machine, const std::wstring& root, const std::wstring& path) {
    for (const auto& key : machine.registry) {
        if (key.root == root && _wcsicmp(key.path.c_str(), path.c_str()) == 0) return &key;
    }
    return nullptr;
}

// ---- Every profile of the corpus, recorded and replayed ------------------------------

class RecordedCorpusProfile : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(RecordedCorpusProfile, ReplaysToTheMachinesOwnExplanation) {
    expectRecordingReplaysLikeTheMachine(profile::loadProfileFile(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Corpus, RecordedCorpusProfile, ::testing::ValuesIn(testing::corpusProfiles()),
                         testing::corpusProfileName);

// ---- What the recording holds ----------------------------------------------------------

TEST(Recorder, KeepsAWholeRegistryValueThatTheChecksCannotRead) {
    MachineProfile machine = profile::physicalMachineWithoutSigns();
    auto& system = profile::addRegistryKey(machine, L"HKLM", L"HARDWARE\\Description\\System");
    // 300 characters: more than the 260 bytes the value checks read.
    const std::wstring longVersion = L"VBOX   - 1\n" + std::wstring(289, L'x');
    profile::addMultiStringValue(system, L"SystemBiosVersion", {longVersion, L"second"});

    const MachineProfile recorded = captureSimulated(machine);
    const auto* value = findValue(recorded, L"HARDWARE\\Description\\System", L"SystemBiosVersion");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, static_cast<uint32_t>(REG_MULTI_SZ));
    EXPECT_EQ(value->data, profile::registryMultiStringBytes({longVersion, L"second"}));
    expectRecordingReplaysLikeTheMachine(machine);
}

TEST(Recorder, LeavesOutWhatIsAbsentAndKeepsWhatFailsOtherwise) {
    MachineProfile machine = profile::physicalMachineWithoutSigns();
    profile::addRegistryKey(machine, L"HKLM", L"SOFTWARE\\VMware, Inc.\\VMware Tools").accessDenied = true;
    profile::addPathError(machine, L"C:\\Windows\\System32\\drivers\\vmhgfs.sys", ERROR_ACCESS_DENIED);
    profile::addDevice(machine, L"\\\\.\\pipe\\VBoxTrayIPC", ERROR_PIPE_BUSY);

    const MachineProfile recorded = captureSimulated(machine);
    const auto* denied = findKey(recorded, L"HKLM", L"SOFTWARE\\VMware, Inc.\\VMware Tools");
    ASSERT_NE(denied, nullptr);
    EXPECT_TRUE(denied->accessDenied);
    EXPECT_EQ(findKey(recorded, L"HKLM", L"SOFTWARE\\Oracle\\VirtualBox Guest Additions"), nullptr);
    EXPECT_EQ(findKey(recorded, L"HKCU", L"SOFTWARE\\Wine"), nullptr);

    auto error = std::find_if(recorded.files.begin(), recorded.files.end(),
                              [](const auto& entry) { return entry.kind == profile::PathKind::Error; });
    ASSERT_NE(error, recorded.files.end());
    EXPECT_EQ(error->error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(std::count_if(recorded.files.begin(), recorded.files.end(),
                            [](const auto& entry) { return entry.kind != profile::PathKind::Error; }),
              0)
        << "no file or folder of any check exists on this machine";

    ASSERT_EQ(recorded.devices.size(), 1u);
    EXPECT_EQ(recorded.devices.front().openError, static_cast<uint32_t>(ERROR_PIPE_BUSY));
    expectRecordingReplaysLikeTheMachine(machine);
}

TEST(Recorder, ReadsEveryRowAndPropertyOfTheClassesQueried) {
    MachineProfile machine = profile::physicalMachineWithoutSigns();
    profile::addWmiRow(machine, L"Win32_BaseBoard",
                       {{L"Manufacturer", profile::wmiText(L"Dell Inc.")},
                        {L"Product", profile::wmiText(L"0X8DXD")},
                        {L"HostingBoard", profile::wmiBool(true)},
                        {L"ConfigOptions", profile::wmiStrings({L"jumper 1", L"jumper 2"})}});
    profile::addWmiClass(machine, L"Win32_NeverQueried");
    profile::addWmiRow(machine, L"Win32_NeverQueried", {{L"Name", profile::wmiText(L"x")}});

    const MachineProfile recorded = captureSimulated(machine);
    auto board = std::find_if(recorded.wmi.classes.begin(), recorded.wmi.classes.end(),
                              [](const auto& c) { return c.name == L"Win32_BaseBoard"; });
    ASSERT_NE(board, recorded.wmi.classes.end());
    const auto* original = profile::findWmiClass(machine, L"Win32_BaseBoard");
    ASSERT_EQ(board->rows.size(), original->rows.size());
    const auto& last = board->rows.back().properties;
    ASSERT_EQ(last.size(), 4u) << "the check reads two properties; the capture keeps all four";
    EXPECT_EQ(last[2].second.vt, VT_BOOL);
    EXPECT_EQ(last[3].second.strings, (std::vector<std::wstring>{L"jumper 1", L"jumper 2"}));
    EXPECT_TRUE(std::none_of(recorded.wmi.classes.begin(), recorded.wmi.classes.end(),
                             [](const auto& c) { return c.name == L"Win32_NeverQueried"; }));
}

TEST(Recorder, KeepsTheMachinesFirmwareAndSystemAnswers) {
    MachineProfile machine = profile::loadProfileFile(testing::corpusProfiles().front());
    machine.system.wow64 = true;
    machine.system.programW6432 = L"D:\\Programs";
    machine.system.totalPhysicalMemory = 805306368;
    machine.system.power.callSucceeds = false;
    machine.system.kernel32Exports = {"wine_get_unix_file_name"};

    const MachineProfile recorded = captureSimulated(machine);
    EXPECT_TRUE(recorded.system.wow64);
    EXPECT_EQ(recorded.system.programW6432, L"D:\\Programs");
    EXPECT_EQ(recorded.system.totalPhysicalMemory, machine.system.totalPhysicalMemory);
    EXPECT_FALSE(recorded.system.power.callSucceeds);
    EXPECT_EQ(recorded.system.kernel32Exports, machine.system.kernel32Exports);
    EXPECT_FALSE(recorded.firmware.acpiEnumerationResult.has_value()) << "the count the tables explain is not kept";
    EXPECT_EQ(recorded.firmware.rawSmbios, machine.firmware.rawSmbios);
    ASSERT_EQ(recorded.firmware.acpiTables.size(), machine.firmware.acpiTables.size());
    for (size_t i = 0; i < machine.firmware.acpiTables.size(); ++i) {
        EXPECT_EQ(recorded.firmware.acpiTables[i].id, machine.firmware.acpiTables[i].id);
        EXPECT_EQ(recorded.firmware.acpiTables[i].data, machine.firmware.acpiTables[i].data);
    }
    expectRecordingReplaysLikeTheMachine(machine);
}

TEST(Recorder, KeepsAnAcpiCountNoListExplains) {
    // A machine whose enumeration answers 2 bytes: no identifier can be read,
    // and the checks take the count as it stands.
    MachineProfile machine = profile::loadProfileFile(testing::corpusProfiles().front());
    machine.firmware.acpiEnumerationResult = 2;
    const MachineProfile recorded = captureSimulated(machine);
    EXPECT_EQ(recorded.firmware.acpiEnumerationResult, std::optional<uint32_t>(2));
    expectRecordingReplaysLikeTheMachine(machine);
}

TEST(Recorder, KeepsAMachineWithoutFirmwareFunctionsOrProcessList) {
    MachineProfile machine = profile::physicalMachineWithoutSigns();
    machine.firmware.functionsPresent = false;
    machine.system.isWow64ProcessPresent = false;
    machine.system.toolhelpFails = true;
    machine.system.adaptersInfoError = ERROR_NO_DATA;
    machine.system.setupDiError = ERROR_INVALID_DATA;

    const MachineProfile recorded = captureSimulated(machine);
    EXPECT_FALSE(recorded.firmware.functionsPresent);
    EXPECT_FALSE(recorded.system.isWow64ProcessPresent);
    EXPECT_TRUE(recorded.system.toolhelpFails);
    EXPECT_EQ(recorded.system.adaptersInfoError, std::optional<uint32_t>(ERROR_NO_DATA));
    EXPECT_EQ(recorded.system.setupDiError, std::optional<uint32_t>(ERROR_INVALID_DATA));
    expectRecordingReplaysLikeTheMachine(machine);
}

// ---- WMI that fails ---------------------------------------------------------------------

TEST(Recorder, KeepsWmiStartUpFailures) {
    MachineProfile machine = profile::physicalMachineWithoutSigns();
    machine.wmi.faults.connectServer = static_cast<int32_t>(WBEM_E_ACCESS_DENIED);
    const MachineProfile recorded = captureSimulated(machine);
    EXPECT_EQ(recorded.wmi.faults.connectServer, machine.wmi.faults.connectServer);
    EXPECT_TRUE(recorded.wmi.classes.empty());
    expectRecordingReplaysLikeTheMachine(machine);

    MachineProfile noLocator = profile::physicalMachineWithoutSigns();
    noLocator.wmi.faults.createLocator = static_cast<int32_t>(E_ACCESSDENIED);
    EXPECT_EQ(captureSimulated(noLocator).wmi.faults.createLocator, noLocator.wmi.faults.createLocator);
}

TEST(Recorder, KeepsFailingQueriesAndRecordsWhatTheChecksAfterThemRead) {
    // A failed count drops the library's connection: every WMI check after it
    // finds nothing on that connection, yet DetectVM's own run, which stops at
    // the memory sign, reaches the VirtualBox checks on a live one.
    MachineProfile machine = profile::physicalMachineWithoutSigns();
    machine.system.totalPhysicalMemory = 536870912;
    machine.wmi.faults.execQueryByClass[L"Win32_CacheMemory"] = static_cast<int32_t>(WBEM_E_FAILED);
    machine.wmi.faults.nextByClass[L"Win32_PhysicalMemory"] = static_cast<int32_t>(WBEM_E_TRANSPORT_FAILURE);
    profile::addWmiRow(machine, L"Win32_BaseBoard", {{L"Manufacturer", profile::wmiText(L"Oracle Corporation")},
                                                     {L"Product", profile::wmiText(L"VirtualBox")}});
    profile::addWmiClass(machine, L"Win32_PnPDevice").known = false;

    const MachineProfile recorded = captureSimulated(machine);
    EXPECT_EQ(recorded.wmi.faults.execQueryByClass.at(L"Win32_CacheMemory"), static_cast<int32_t>(WBEM_E_FAILED));
    // Asked only after the failed count, so only a check run on its own connection sees it.
    ASSERT_EQ(recorded.wmi.faults.nextByClass.count(L"Win32_PhysicalMemory"), 1u);
    EXPECT_EQ(recorded.wmi.faults.nextByClass.at(L"Win32_PhysicalMemory"), static_cast<int32_t>(WBEM_E_TRANSPORT_FAILURE));
    auto pnpDevice = std::find_if(recorded.wmi.classes.begin(), recorded.wmi.classes.end(),
                                  [](const auto& c) { return c.name == L"Win32_PnPDevice"; });
    ASSERT_NE(pnpDevice, recorded.wmi.classes.end());
    EXPECT_FALSE(pnpDevice->known);
    auto board = std::find_if(recorded.wmi.classes.begin(), recorded.wmi.classes.end(),
                              [](const auto& c) { return c.name == L"Win32_BaseBoard"; });
    ASSERT_NE(board, recorded.wmi.classes.end());
    EXPECT_FALSE(board->rows.empty());
    expectRecordingReplaysLikeTheMachine(machine);
}

}  // namespace
}  // namespace Corvane::capture
