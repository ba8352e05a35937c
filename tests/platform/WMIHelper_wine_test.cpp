// The WMI helper and the general detector against Wine's real COM and WMI.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>
#include <thread>

#include "api/Exports.h"
#include "diagnostics/Evidence.h"
#include "platform/WMIHelper.h"
#include "support/LogCapture.h"
#include "vmdetection/GeneralDetection.h"
#include "vmdetection/VMDetectionManager.h"

namespace Corvane::platform {
namespace {

// Runs `body` on a thread of its own, so that COM apartments of one test never
// meet those of another.
template <typename Body>
void onOwnThread(Body body) {
    std::thread thread(body);
    thread.join();
}

std::wstring firstRowText(WMIHelper& wmi, const std::wstring& className, const std::wstring& property) {
    std::wstring text;
    wmi.executeQuery(property, className, L"");
    wmi.fetchFirstResult();
    wmi.getProperty(property, WMIHelper::ValueCallback([&](VARIANT& value) {
                        if (value.vt == VT_BSTR && value.bstrVal) text = value.bstrVal;
                        return true;
                    }));
    wmi.reset();
    return text;
}

TEST(WMIHelperOnWine, ConnectsAndReadsTheBiosSerialNumber) {
    onOwnThread([] {
        testing::LogCapture log;
        WMIHelper wmi(L"ROOT\\CIMV2");
        ASSERT_TRUE(wmi.isConnected());
        EXPECT_EQ(wmi.getStatus(), S_OK);
        EXPECT_TRUE(wmi.holdsComInitialization());

        // Wine fills the serial number with a single zero.
        EXPECT_EQ(firstRowText(wmi, L"Win32_BIOS", L"SerialNumber"), L"0");
        EXPECT_EQ(firstRowText(wmi, L"Win32_ComputerSystem", L"Model"), L"Wine");

        const std::string text = log.text();
        EXPECT_NE(text.find("Connected to ROOT\\CIMV2 WMI namespace\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Performing WMI query: SELECT SerialNumber FROM Win32_BIOS\n"), std::string::npos) << text;
    });
}

TEST(WMIHelperOnWine, AThreadAlreadyInTheMultithreadedApartmentStillConnects) {
    onOwnThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            WMIHelper wmi(L"ROOT\\CIMV2");
            EXPECT_TRUE(wmi.isConnected());
            EXPECT_EQ(wmi.getStatus(), S_OK);
            EXPECT_EQ(firstRowText(wmi, L"Win32_BIOS", L"SerialNumber"), L"0");
        }
        // The helper gave back only its own initialisation: the thread is still
        // in the apartment it joined first.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
}

TEST(WMIHelperOnWine, AFailedQueryDropsTheConnectionAndLeavesTheThreadsComAlone) {
    onOwnThread([] {
        testing::LogCapture log;
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        {
            WMIHelper wmi(L"ROOT\\CIMV2");
            ASSERT_TRUE(wmi.isConnected());

            // A condition WQL cannot parse fails in ExecQuery itself.
            const HRESULT failed = wmi.executeQuery(L"", L"Win32_BIOS", L"SerialNumber = = 1");
            EXPECT_EQ(failed, static_cast<HRESULT>(0x80041017));  // WBEM_E_INVALID_QUERY
            EXPECT_FALSE(wmi.hasServices());
            EXPECT_FALSE(wmi.holdsComInitialization());
            EXPECT_NE(log.text().find("Query failed: Error code = 0x80041017\n"), std::string::npos) << log.text();

            wmi.reset();
            EXPECT_EQ(wmi.executeQuery(L"SerialNumber", L"Win32_BIOS", L""), WMIHelper::kNotConnected);
        }
        // Neither the failed query nor the destructor took the thread's own
        // initialisation away.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
}

TEST(WMIHelperOnWine, EmptyClassesAndMissingPropertiesAreReportedNotThrown) {
    onOwnThread([] {
        testing::LogCapture log;
        WMIHelper wmi(L"ROOT\\CIMV2");
        ASSERT_TRUE(wmi.isConnected());

        // Wine has no cache memory rows: the first fetch finds nothing.
        ASSERT_EQ(wmi.executeQuery(L"", L"Win32_CacheMemory", L""), S_OK);
        EXPECT_EQ(wmi.fetchFirstResult(), WBEM_S_FALSE);
        bool called = false;
        EXPECT_EQ(wmi.getProperty(L"Purpose", WMIHelper::ValueCallback([&](VARIANT&) { return called = true; })),
                  WBEM_S_FALSE);
        EXPECT_FALSE(called);
        wmi.reset();

        ASSERT_EQ(wmi.executeQuery(L"", L"Win32_BIOS", L""), S_OK);
        ASSERT_EQ(wmi.fetchFirstResult(), S_OK);
        EXPECT_EQ(wmi.getProperty(L"NoSuchProperty", WMIHelper::ValueCallback([&](VARIANT&) { return called = true; })),
                  static_cast<HRESULT>(0x80041002));  // WBEM_E_NOT_FOUND
        EXPECT_FALSE(called);
        wmi.reset();
        EXPECT_TRUE(wmi.isConnected());

        const std::string text = log.text();
        EXPECT_NE(text.find("Failed to get results for WMI query\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Failed to get WMI property: NoSuchProperty\n"), std::string::npos) << text;
    });
}

TEST(WMIHelperOnWine, TheGeneralDetectorFindsPlainWineAtTheBiosSerialNumber) {
    onOwnThread([] {
        WMIHelper wmi(L"ROOT\\CIMV2");
        ASSERT_TRUE(wmi.isConnected());
        utils::vmdetection::GeneralDetection general(&wmi);
        diagnostics::EvidenceCollector evidence;

        EXPECT_TRUE(general.detect());
        ASSERT_EQ(evidence.artefacts().size(), 3u);
        EXPECT_EQ(evidence.artefacts()[0].value, "Win32_BIOS");
        EXPECT_EQ(evidence.artefacts()[1].value, "SerialNumber");
        EXPECT_EQ(evidence.artefacts()[2].value, "0");
        EXPECT_EQ(wmi.getStatus(), S_OK);
    });
}

// --- A WMI start-up that fails for real: Wine with its WMI provider disabled ---
// Suites named *WithoutWmi run only in the ctest entry wine_without_wmi, which
// starts the program with WINEDLLOVERRIDES=wbemprox=d (Wine reads overrides
// only at process start, and drops them from the environment of child processes).

bool wmiProviderDisabled() {
    wchar_t value[256] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", value, 256);
    return length > 0 && length < 256 && std::wcsstr(value, L"wbemprox=d") != nullptr;
}

TEST(WMIHelperWithoutWmi, DetectionStillCompletesWhenWmiCannotStart) {
    ASSERT_TRUE(wmiProviderDisabled()) << "run with WINEDLLOVERRIDES=wbemprox=d (ctest -R wine_without_wmi)";

    testing::LogCapture log;
    // The first call builds the manager and with it the WMI connection.
    EXPECT_EQ(GetVMType(), 0);
    auto& manager = utils::vmdetection::VMDetectionManager::instance();
    EXPECT_EQ(manager.getWmi().getStatus(), static_cast<HRESULT>(0x80070005));  // E_ACCESSDENIED
    EXPECT_FALSE(manager.getWmi().isConnected());
    EXPECT_FALSE(manager.getWmi().holdsComInitialization());

    DetectVM();
    // No WMI step can show a sign, and plain Wine shows none of the others.
    EXPECT_EQ(GetVMType(), 1);
    EXPECT_TRUE(FAILED(manager.getWmi().getStatus()));
    EXPECT_STREQ(GetVMName(), "");

    const std::string text = log.text();
    EXPECT_NE(text.find("WMIHelper: Failed to create IWbemLocator object: Error code = 0x80070005\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Performing WMI query"), std::string::npos) << text;
}

}  // namespace
}  // namespace Corvane::platform
