// The functions of iphlpapi, mpr and powrprof, reached through the library's
// own binding: each module is loaded from System32 alone until its function is
// found, and a module or export that cannot be had is a missing sign with
// nothing logged, tried again on the next call.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "support/SimulatedMachineTest.h"
#include "vmdetection/GeneralDetection.h"
#include "vmdetection/VirtualBoxDetection.h"
#include "win32/SystemFunctions.h"

namespace Corvane::platform {
namespace {

using namespace profile;
using Corvane::testing::LogCapture;
using utils::vmdetection::GeneralDetection;
using utils::vmdetection::VirtualBoxDetection;

struct Row {
    const char* module;
    const char* exportName;
    std::function<void(MachineProfile&)> addSign;
    std::function<bool()> check;  // the library's check that makes the call
};

const Row kRows[] = {
    {"iphlpapi.dll", "GetAdaptersInfo", [](MachineProfile& p) { addAdapter(p, "08:00:27:12:34:56", "eth0"); },
     [] { return VirtualBoxDetection(nullptr).checkMacAddresses(); }},
    {"mpr.dll", "WNetGetProviderNameW",
     [](MachineProfile& p) { addNetworkProvider(p, WNNC_NET_RDR2SAMPLE, L"VirtualBox Shared Folders"); },
     [] { return VirtualBoxDetection(nullptr).checkNetworkProviders(); }},
    {"powrprof.dll", "GetPwrCapabilities",
     [](MachineProfile& p) { p.system.power = {true, false, false, false, false, false}; },
     [] { return GeneralDetection(nullptr).checkPowerCapabilities(); }},
};

enum class Refusal { None, Module, Export };

class SystemFunctionsTest : public Corvane::testing::SimulatedMachineTest {};

TEST_F(SystemFunctionsTest, LoadedFromSystem32UntilFoundAndAMissingModuleOrExportIsNoSign) {
    for (const Row& row : kRows) {
        for (Refusal refusal : {Refusal::None, Refusal::Module, Refusal::Export}) {
            SCOPED_TRACE(std::string(row.exportName) + ", refusal " + std::to_string(static_cast<int>(refusal)));
            profile = physicalMachineWithoutSigns();
            row.addSign(profile);
            auto& machine = start();
            if (refusal == Refusal::Module) machine.faults().refusedModules = {row.module};
            if (refusal == Refusal::Export) machine.faults().missingExports = {row.exportName};
            LogCapture log;

            const bool available = refusal == Refusal::None;
            EXPECT_EQ(row.check(), available);
            // The refusal passes: the next call loads again, and a found function is kept.
            machine.faults().refusedModules.clear();
            machine.faults().missingExports.clear();
            EXPECT_TRUE(row.check());
            EXPECT_TRUE(row.check());
            EXPECT_EQ(callArguments("LoadLibraryExW"),
                      std::vector<std::string>(available ? 1 : 2, std::string(row.module) + " 0x00000800"));
            EXPECT_EQ(machine.countCalls("FreeLibrary"), refusal == Refusal::Export ? 1u : 0u);
            EXPECT_EQ(log.text(), "");
            stop();
        }
    }
}

// A host that frees the DLL must get back every module the DLL loaded: release
// frees each kept module once and forgets it, and a later call loads it again.
TEST_F(SystemFunctionsTest, ReleaseFreesEachKeptModuleOnceAndALaterCallLoadsItAgain) {
    auto& machine = start();
    SystemFunctions functions(machine.api());
    std::vector<std::string> freed;
    for (int round = 1; round <= 2; ++round) {
        ULONG size = 0;
        wchar_t provider[64];
        DWORD providerSize = 64;
        SYSTEM_POWER_CAPABILITIES power{};
        functions.GetAdaptersInfo(nullptr, &size);
        functions.WNetGetProviderNameW(WNNC_NET_RDR2SAMPLE, provider, &providerSize);
        functions.GetPwrCapabilities(&power);
        functions.release();
        functions.release();  // nothing kept any more: nothing freed twice
        freed.insert(freed.end(), {"iphlpapi.dll", "mpr.dll", "powrprof.dll"});
        EXPECT_EQ(callArguments("FreeLibrary"), freed);
        EXPECT_EQ(machine.countCalls("LoadLibraryExW"), 3u * round);
    }
}

}  // namespace
}  // namespace Corvane::platform
