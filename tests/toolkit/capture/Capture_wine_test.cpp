// A capture of Wine's real Win32, replayed: the library's code on the
// recorded machine must explain exactly what it explains on the live one.

#include <gtest/gtest.h>

#include <algorithm>

#include "toolkit/capture/ExplanationComparison.h"
#include "toolkit/explain/Explanation.h"
#include "platform/SystemProbes.h"
#include "toolkit/capture/CaptureMachine.h"
#include "toolkit/capture/Redaction.h"
#include "toolkit/capture/Replay.h"
#include "toolkit/profile/ProfileJson.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::capture {
namespace {

using diagnostics::explain::Explanation;
using profile::MachineProfile;

Explanation explainLive() {
    platform::forgetWow64Answer();
    utils::vmdetection::VMDetectionManager manager;
    return diagnostics::explain::explainDetection(manager);
}

// One capture for the whole suite: it runs every check several times over.
class CaptureOnWine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        captured = new MachineProfile(captureMachine());
        live = new Explanation(explainLive());
    }
    static void TearDownTestSuite() {
        delete captured;
        delete live;
    }
    static MachineProfile* captured;
    static Explanation* live;
};
MachineProfile* CaptureOnWine::captured = nullptr;
Explanation* CaptureOnWine::live = nullptr;

const profile::RegistryKey* findKey(const MachineProfile& machine, const std::wstring& root, const std::wstring& path) {
    for (const auto& key : machine.registry) {
        if (key.root == root && _wcsicmp(key.path.c_str(), path.c_str()) == 0) return &key;
    }
    return nullptr;
}

const profile::WmiClass* findClass(const MachineProfile& machine, const std::wstring& name) {
    for (const auto& wmiClass : machine.wmi.classes) {
        if (_wcsicmp(wmiClass.name.c_str(), name.c_str()) == 0) return &wmiClass;
    }
    return nullptr;
}

TEST_F(CaptureOnWine, RecordsWhatWineShows) {
    // What plain Wine is known to show, each fact read by some check.
    EXPECT_NE(findKey(*captured, L"HKCU", L"SOFTWARE\\Wine"), nullptr);
    EXPECT_EQ(findKey(*captured, L"HKLM", L"SOFTWARE\\Oracle\\VirtualBox Guest Additions"), nullptr)
        << "an absent key is left out";
    const auto& exports = captured->system.kernel32Exports;
    EXPECT_NE(std::find(exports.begin(), exports.end(), "wine_get_unix_file_name"), exports.end());

    const auto& power = captured->system.power;
    EXPECT_TRUE(power.callSucceeds);
    EXPECT_TRUE(power.systemS1);
    EXPECT_TRUE(power.systemS4);
    EXPECT_FALSE(power.systemS3);

    ASSERT_TRUE(captured->system.totalPhysicalMemory.has_value());
    EXPECT_GT(*captured->system.totalPhysicalMemory, 0u);
    EXPECT_FALSE(captured->processes.empty());
    EXPECT_TRUE(captured->firmware.functionsPresent);
    ASSERT_TRUE(captured->firmware.rawSmbios.has_value());
    EXPECT_GT(captured->firmware.rawSmbios->size(), 8u);
    EXPECT_TRUE(captured->firmware.acpiTables.empty()) << "Wine enumerates no ACPI table";

    // WMI: every class queried, read whole.
    const auto* bios = findClass(*captured, L"Win32_BIOS");
    ASSERT_NE(bios, nullptr);
    ASSERT_FALSE(bios->rows.empty());
    const auto& properties = bios->rows.front().properties;
    auto serial = std::find_if(properties.begin(), properties.end(),
                               [](const auto& property) { return property.first == L"SerialNumber"; });
    ASSERT_NE(serial, properties.end());
    EXPECT_EQ(serial->second.text, L"0");
    EXPECT_GT(properties.size(), 3u) << "all properties, not only the one the check asks for";
    const auto* cache = findClass(*captured, L"Win32_CacheMemory");
    ASSERT_NE(cache, nullptr);
    EXPECT_TRUE(cache->rows.empty());

    EXPECT_NE(captured->source.find("captured by corvane-vmd capture on "), std::string::npos);
}

TEST_F(CaptureOnWine, ReplayExplainsExactlyAsTheLiveRun) {
    // Through the file form, as support receives it.
    const MachineProfile loaded = profile::parseProfile(profile::toJson(*captured));
    const Explanation replayed = replayMachine(loaded);
    testing::expectSameExplanation(*live, replayed);
    ASSERT_TRUE(replayed.reported.has_value());
    EXPECT_EQ(*replayed.reported, live->verdict) << "DetectVM on the replayed machine";
}

TEST_F(CaptureOnWine, RedactedReplayExplainsTheSame) {
    MachineProfile redacted = *captured;
    redactProfile(redacted);
    const Explanation replayed = replayMachine(profile::parseProfile(profile::toJson(redacted)));
    testing::expectSameExplanation(*live, replayed, [](const std::string& value) {
        return testing::redactedShape(value);
    });
}

}  // namespace
}  // namespace Corvane::capture
