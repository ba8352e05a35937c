// The WMI helper against a simulated machine whose COM objects count their
// references: the fixture fails a test that leaves one, frees a BSTR twice or
// gives back a COM initialisation it never took.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "support/SimulatedMachineTest.h"
#include "platform/WMIHelper.h"
#include "win32/WmiBstr.h"

namespace Corvane::platform {
namespace {

using profile::addWmiRow;
using profile::wmiNull;
using profile::wmiText;

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80041003);  // WBEM_E_ACCESS_DENIED
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80041002);      // WBEM_E_NOT_FOUND
constexpr HRESULT kCancelled = static_cast<HRESULT>(0x80041032);     // WBEM_E_CALL_CANCELLED

class WMIHelperTest : public testing::SimulatedMachineTest {
protected:
    // The text values `name` takes in the rows forEachProperty visits.
    static std::vector<std::wstring> remainingValues(WMIHelper& wmi, const std::wstring& name) {
        std::vector<std::wstring> values;
        wmi.forEachProperty(name, WMIHelper::ValueCallback([&](VARIANT& value) {
                                values.push_back(value.vt == VT_BSTR ? value.bstrVal : L"<not text>");
                                return false;
                            }));
        return values;
    }

    testing::LogCapture log;
};

// --- Start-up ---

// Connects, and gives its COM initialisation back when destroyed; a thread
// already in the multithreaded apartment joins it, and COM security set earlier
// by the host counts as success.
TEST_F(WMIHelperTest, ConnectsAlsoInTheApartmentAndSecurityTheHostChoseEarlier) {
    for (const bool hostFirst : {false, true}) {
        profile.wmi.faults.coInitializeEx = hostFirst ? RPC_E_CHANGED_MODE : S_OK;
        profile.wmi.faults.coInitializeSecurity = hostFirst ? RPC_E_TOO_LATE : S_OK;
        auto& machine = start();
        testing::LogCapture lines;  // this round's
        {
            WMIHelper wmi(L"ROOT\\CIMV2");
            EXPECT_TRUE(wmi.isConnected());
            EXPECT_EQ(wmi.getStatus(), S_OK);
            EXPECT_TRUE(wmi.hasServices());
            EXPECT_EQ(machine.comInitializationDepth(), 1);
        }
        EXPECT_EQ(machine.comInitializationDepth(), 0);
        EXPECT_EQ(callArguments("CoInitializeEx"), hostFirst ? (std::vector<std::string>{"0x00000006", "0x00000004"})
                                                             : std::vector<std::string>{"0x00000006"});
        EXPECT_EQ(callArguments("ConnectServer"), std::vector<std::string>{"ROOT\\CIMV2"});
        EXPECT_EQ(lines.countLines("Connected to ROOT\\CIMV2 WMI namespace"), 1u) << lines.text();
        EXPECT_EQ(lines.text().find("WMIHelper:"), std::string::npos) << lines.text();
        stop();
    }
}

struct StartUpFailure {
    const char* name;
    int32_t profile::WmiFaults::*fault;
    HRESULT code;
    const char* logLine;
    int comDepthAfterwards;
};

class WMIHelperStartUpFailure : public WMIHelperTest, public ::testing::WithParamInterface<StartUpFailure> {};

TEST_P(WMIHelperStartUpFailure, LogsReturnsTheCodeAndLeavesNothingBehind) {
    const StartUpFailure& failure = GetParam();
    profile.wmi.faults.*failure.fault = failure.code;
    auto& machine = start();
    {
        WMIHelper wmi(L"ROOT\\CIMV2");
        EXPECT_EQ(wmi.getStatus(), failure.code);
        EXPECT_FALSE(wmi.isConnected());
        EXPECT_FALSE(wmi.hasServices());
        EXPECT_FALSE(wmi.holdsComInitialization());
        EXPECT_EQ(machine.comInitializationDepth(), failure.comDepthAfterwards);
        EXPECT_EQ(log.countLines(failure.logLine), 1u) << log.text();

        // Without a connection no query is ever sent.
        wmi.reset();
        EXPECT_EQ(wmi.executeQuery(L"SerialNumber", L"Win32_BIOS", L""), WMIHelper::kNotConnected);
        EXPECT_EQ(wmi.getStatus(), WMIHelper::kNotConnected);
        EXPECT_EQ(machine.countCalls("ExecQuery"), 0u);
        EXPECT_EQ(log.text().find("Performing WMI query"), std::string::npos);
    }
    // The destructor gave nothing back a second time (the fixture checks).
    EXPECT_EQ(machine.comInitializationDepth(), failure.comDepthAfterwards);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, WMIHelperStartUpFailure,
    ::testing::Values(StartUpFailure{"ComLibrary", &profile::WmiFaults::coInitializeEx, E_OUTOFMEMORY,
                                     "WMIHelper: Failed to initialize COM library: Error code = 0x8007000e", 0},
                      StartUpFailure{"Security", &profile::WmiFaults::coInitializeSecurity, E_ACCESSDENIED,
                                     "WMIHelper: Failed to initialize COM security: Error code = 0x80070005", 0},
                      StartUpFailure{"Locator", &profile::WmiFaults::createLocator, REGDB_E_CLASSNOTREG,
                                     "WMIHelper: Failed to create IWbemLocator object: Error code = 0x80040154", 0},
                      StartUpFailure{"Connection", &profile::WmiFaults::connectServer, kAccessDenied,
                                     "WMIHelper: Could not connect to root/cimv2: Error code = 0x80041003", 0},
                      StartUpFailure{"ProxyBlanket", &profile::WmiFaults::setProxyBlanket, E_ACCESSDENIED,
                                     "WMIHelper: Could not set proxy blanket: Error code = 0x80070005", 0}),
    [](const ::testing::TestParamInfo<StartUpFailure>& info) { return info.param.name; });

// --- Queries ---

// What is sent and logged is this text: the simulated machine answers only a
// query it parses, and the detection flow's test counts the log lines.
TEST(WMIHelperQuery, SelectsTheGivenPropertyOrEverythingAndAddsWhereOnlyForACondition) {
    EXPECT_EQ(WMIHelper::buildQuery(L"SerialNumber", L"Win32_BIOS", L""), L"SELECT SerialNumber FROM Win32_BIOS");
    EXPECT_EQ(WMIHelper::buildQuery(L"", L"Win32_Bus", L""), L"SELECT * FROM Win32_Bus");
    EXPECT_EQ(WMIHelper::buildQuery(L"", L"Win32_NetworkAdapterConfiguration", L"IPEnabled = TRUE"),
              L"SELECT * FROM Win32_NetworkAdapterConfiguration WHERE IPEnabled = TRUE");
}

TEST_F(WMIHelperTest, AFailedQueryDropsTheConnectionForGood) {
    profile.wmi.faults.execQueryByClass[L"Win32_BIOS"] = kAccessDenied;
    auto& machine = start();
    WMIHelper wmi(L"ROOT\\CIMV2");

    EXPECT_EQ(wmi.executeQuery(L"SerialNumber", L"Win32_BIOS", L""), kAccessDenied);
    EXPECT_EQ(log.countLines("Query failed: Error code = 0x80041003"), 1u) << log.text();
    EXPECT_FALSE(wmi.hasServices());
    EXPECT_FALSE(wmi.isConnected());
    EXPECT_EQ(machine.comInitializationDepth(), 0);

    // The failing status makes the rest of the check do nothing.
    EXPECT_EQ(wmi.fetchFirstResult(), kAccessDenied);
    EXPECT_EQ(wmi.forEachProperty(L"SerialNumber", WMIHelper::ValueCallback([](VARIANT&) { return false; })),
              kAccessDenied);
    EXPECT_EQ(machine.countCalls("Next"), 0u);

    // A later check, on a class that would answer, finds no connection (the general
    // detector's rows count the queries never sent).
    wmi.reset();
    EXPECT_EQ(wmi.executeQuery(L"Model", L"Win32_ComputerSystem", L""), WMIHelper::kNotConnected);
}

TEST_F(WMIHelperTest, AFailingStatusIsStickyUntilReset) {
    start();
    WMIHelper wmi(L"ROOT\\CIMV2");
    ASSERT_EQ(wmi.executeQuery(L"", L"Win32_BIOS", L""), S_OK);
    ASSERT_EQ(wmi.fetchFirstResult(), S_OK);
    bool called = false;
    EXPECT_EQ(wmi.getProperty(L"NoSuchProperty", WMIHelper::ValueCallback([&](VARIANT&) { return called = true; })),
              kNotFound);
    EXPECT_FALSE(called);
    EXPECT_EQ(log.countLines("Failed to get WMI property: NoSuchProperty"), 1u) << log.text();

    const size_t queriesBefore = machine().countCalls("ExecQuery");
    EXPECT_EQ(wmi.executeQuery(L"Model", L"Win32_ComputerSystem", L""), kNotFound);
    EXPECT_EQ(wmi.forEachResult([&](const ComPtr<IWbemClassObject>&, ULONG, HRESULT&) { return called = true; }),
              kNotFound);
    EXPECT_FALSE(called);
    EXPECT_EQ(machine().countCalls("ExecQuery"), queriesBefore);

    wmi.reset();
    EXPECT_EQ(wmi.executeQuery(L"Model", L"Win32_ComputerSystem", L""), S_OK);
    EXPECT_TRUE(wmi.isConnected());
}

TEST_F(WMIHelperTest, AnEmptyResultLeavesNoCurrentRowAndASuccessStatus) {
    profile::removeWmiClass(profile, L"Win32_CacheMemory");
    profile::addWmiClass(profile, L"Win32_CacheMemory");
    start();
    WMIHelper wmi(L"ROOT\\CIMV2");
    ASSERT_EQ(wmi.executeQuery(L"", L"Win32_CacheMemory", L""), S_OK);
    EXPECT_EQ(wmi.fetchFirstResult(), WBEM_S_FALSE);
    EXPECT_EQ(log.countLines("Failed to get results for WMI query"), 1u) << log.text();

    bool called = false;
    EXPECT_EQ(wmi.getProperty(L"Purpose", WMIHelper::ValueCallback([&](VARIANT&) { return called = true; })),
              WBEM_S_FALSE);
    EXPECT_FALSE(called);
    wmi.reset();
}

// --- Walking rows ---

class WMIHelperRowsTest : public WMIHelperTest {
protected:
    void SetUp() override {
        profile::removeWmiClass(profile, L"Win32_Bus");
        for (const auto* bus : {L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0"})
            addWmiRow(profile, L"Win32_Bus", {{L"DeviceID", wmiText(bus)}, {L"Name", wmiText(bus)}});
    }
};

// A callback that has its answer stops the walk; after the first fetch the walk starts at the second row.
TEST_F(WMIHelperRowsTest, ForEachPropertyStopsAtTheAnswerAndStartsAfterAFetchedRow) {
    auto& machine = start();
    WMIHelper wmi(L"ROOT\\CIMV2");
    ASSERT_EQ(wmi.executeQuery(L"", L"Win32_Bus", L""), S_OK);
    int rows = 0;
    EXPECT_EQ(wmi.forEachProperty(L"Name", WMIHelper::ValueCallback([&](VARIANT&) { return ++rows == 2; })), S_OK);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(machine.countCalls("Next"), 2u);

    wmi.reset();
    ASSERT_EQ(wmi.executeQuery(L"", L"Win32_Bus", L""), S_OK);
    ASSERT_EQ(wmi.fetchFirstResult(), S_OK);
    std::wstring first;
    wmi.getProperty(L"DeviceID", WMIHelper::ValueCallback([&](VARIANT& value) {
                        first = value.bstrVal;
                        return true;
                    }));
    EXPECT_EQ(first, L"ACPIBus_BUS_0");
    EXPECT_EQ(remainingValues(wmi, L"DeviceID"), (std::vector<std::wstring>{L"PCI_BUS_0", L"PNP_BUS_0"}));
    EXPECT_EQ(wmi.getStatus(), WBEM_S_FALSE);  // the end of the rows
    wmi.reset();
}

TEST_F(WMIHelperRowsTest, ARowWithoutThePropertyEndsTheWalkWithItsCode) {
    addWmiRow(profile, L"Win32_Bus", {{L"DeviceID", wmiText(L"USB_BUS_0")}});  // no Name
    addWmiRow(profile, L"Win32_Bus", {{L"DeviceID", wmiText(L"PCI_BUS_1")}, {L"Name", wmiText(L"PCI_BUS_1")}});
    auto& machine = start();
    WMIHelper wmi(L"ROOT\\CIMV2");
    ASSERT_EQ(wmi.executeQuery(L"", L"Win32_Bus", L""), S_OK);
    EXPECT_EQ(remainingValues(wmi, L"Name"), (std::vector<std::wstring>{L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0"}));
    EXPECT_EQ(wmi.getStatus(), kNotFound);
    EXPECT_EQ(log.countLines("Query Name failed: Error code = 0x80041002"), 1u) << log.text();
    EXPECT_EQ(machine.countCalls("Next"), 4u);  // the last row is never fetched
    wmi.reset();
}

TEST_F(WMIHelperRowsTest, AFailingNextReachesTheCallbackAsNoRowWithItsCode) {
    profile.wmi.faults.nextByClass[L"Win32_Bus"] = kCancelled;
    start();
    WMIHelper wmi(L"ROOT\\CIMV2");
    ASSERT_EQ(wmi.executeQuery(L"", L"Win32_Bus", L""), S_OK);
    std::vector<ULONG> delivered;
    bool sawNullRowAtEnd = false;
    const HRESULT result = wmi.forEachResult([&](const ComPtr<IWbemClassObject>& row, ULONG returned, HRESULT& status) {
        delivered.push_back(returned);
        if (returned == 0) {
            sawNullRowAtEnd = !row && status == kCancelled;
            return true;
        }
        return false;
    });
    EXPECT_EQ(result, kCancelled);
    EXPECT_EQ(delivered, (std::vector<ULONG>{1, 1, 1, 0}));
    EXPECT_TRUE(sawNullRowAtEnd);
    wmi.reset();
}

}  // namespace
}  // namespace Corvane::platform
