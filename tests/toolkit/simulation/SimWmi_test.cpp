#include <gmock/gmock.h>

#include "support/SimulatedMachineTest.h"
#include "win32/ComPtr.h"

namespace Corvane::testing {
namespace {

using namespace Corvane::profile;
using platform::ComPtr;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SimulatedWmi : public SimulatedMachineTest {
protected:
    const platform::Win32Api& api() { return platform::win32(); }

    // COM start-up and a connection to ROOT\CIMV2, as the WMI helper makes it.
    void connect() {
        ASSERT_GE(api().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), 0);
        ASSERT_EQ(api().CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.putVoid()), S_OK);
        BSTR nameSpace = api().SysAllocString(L"ROOT\\CIMV2");
        ASSERT_EQ(locator->ConnectServer(nameSpace, nullptr, nullptr, nullptr, 0x80, nullptr, nullptr, services.put()), S_OK);
        api().SysFreeString(nameSpace);
    }

    void disconnect() {
        services.release();
        locator.release();
        api().CoUninitialize();
    }

    HRESULT query(const wchar_t* text, ComPtr<IEnumWbemClassObject>& result) {
        BSTR language = api().SysAllocString(L"WQL");
        BSTR wql = api().SysAllocString(text);
        HRESULT hr = services->ExecQuery(language, wql, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, result.put());
        api().SysFreeString(language);
        api().SysFreeString(wql);
        return hr;
    }

    // The text values of `property` in every row of the query, "<hr>" for a failed Get.
    std::vector<std::wstring> column(const wchar_t* wql, const wchar_t* property) {
        ComPtr<IEnumWbemClassObject> rows;
        EXPECT_EQ(query(wql, rows), S_OK);
        std::vector<std::wstring> values;
        while (rows) {
            ComPtr<IWbemClassObject> row;
            ULONG returned = 0;
            if (rows->Next(WBEM_INFINITE, 1, row.put(), &returned) != S_OK || returned == 0) break;
            VARIANT value;
            VariantInit(&value);
            HRESULT hr = row->Get(property, 0, &value, nullptr, nullptr);
            if (FAILED(hr)) values.push_back(L"<" + std::to_wstring(hr) + L">");
            else values.push_back(value.vt == VT_BSTR ? value.bstrVal : L"<vt " + std::to_wstring(value.vt) + L">");
            api().VariantClear(&value);
        }
        return values;
    }

    ComPtr<IWbemLocator> locator;
    ComPtr<IWbemServices> services;
};

TEST_F(SimulatedWmi, ComStartUpCountsLikeRealCom) {
    auto& machine = start();
    EXPECT_EQ(api().CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.putVoid()), CO_E_NOTINITIALIZED);
    EXPECT_EQ(api().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(api().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(api().CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(machine.comInitializationDepth(), 2);
    EXPECT_EQ(api().CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(api().CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr, 0, nullptr), RPC_E_TOO_LATE);
    api().CoUninitialize();
    api().CoUninitialize();
    EXPECT_EQ(machine.comInitializationDepth(), 0);
    api().CoUninitialize();
    EXPECT_THAT(machine.invalidReleases(), ElementsAre(HasSubstr("CoUninitialize")));
    discard();
}

TEST_F(SimulatedWmi, ChangedModeFaultLeavesTheThreadInTheMultithreadedApartment) {
    profile.wmi.faults.coInitializeEx = RPC_E_CHANGED_MODE;
    auto& machine = start();
    EXPECT_EQ(api().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), RPC_E_CHANGED_MODE);
    EXPECT_EQ(api().CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
    EXPECT_EQ(machine.comInitializationDepth(), 1);
    api().CoUninitialize();
}

TEST_F(SimulatedWmi, QueriesSelectRowsAndProperties) {
    start();
    connect();
    EXPECT_THAT(column(L"SELECT * FROM Win32_Bus", L"Name"),
                ElementsAre(L"ACPIBus_BUS_0", L"PCI_BUS_0", L"PNP_BUS_0", L"PCI_BUS_1", L"PCI_BUS_2", L"USB_BUS_0"));
    EXPECT_THAT(column(L"select serialnumber from win32_bios", L"SerialNumber"), ElementsAre(L"7H2K9Q2"));
    // A query that names one property exposes only it.
    EXPECT_THAT(column(L"SELECT SerialNumber FROM Win32_BIOS", L"Manufacturer"), ElementsAre(L"<" + std::to_wstring(static_cast<HRESULT>(WBEM_E_NOT_FOUND)) + L">"));
    EXPECT_THAT(column(L"SELECT LogfileName, Sources FROM Win32_NTEventlogFile WHERE LogfileName = 'system'", L"LogfileName"),
                ElementsAre(L"System"));
    EXPECT_THAT(column(L"SELECT MACAddress FROM Win32_NetworkAdapterConfiguration", L"MACAddress"),
                ElementsAre(L"<vt 1>", L"D8:9E:F3:4A:1B:7E"));
    EXPECT_TRUE(column(L"SELECT * FROM Win32_NoSuchClass", L"Name").empty());  // as Wine answers

    ComPtr<IEnumWbemClassObject> rows;
    EXPECT_EQ(query(L"SELECT FROM Win32_Bus", rows), WBEM_E_INVALID_QUERY);
    disconnect();
}

TEST_F(SimulatedWmi, FaultsAndUnknownClasses) {
    addWmiClass(profile, L"Win32_Hidden").known = false;
    profile.wmi.faults.execQueryByClass[L"win32_bios"] = WBEM_E_ACCESS_DENIED;
    profile.wmi.faults.nextByClass[L"Win32_Bus"] = WBEM_E_TIMED_OUT;
    start();
    connect();
    ComPtr<IEnumWbemClassObject> rows;
    EXPECT_EQ(query(L"SELECT * FROM Win32_Hidden", rows), WBEM_E_INVALID_CLASS);
    EXPECT_EQ(query(L"SELECT SerialNumber FROM Win32_BIOS", rows), WBEM_E_ACCESS_DENIED);
    ASSERT_EQ(query(L"SELECT * FROM Win32_Bus", rows), S_OK);
    ULONG returned = 0, count = 0;
    HRESULT hr = S_OK;
    while (true) {
        ComPtr<IWbemClassObject> row;
        hr = rows->Next(WBEM_INFINITE, 1, row.put(), &returned);
        if (returned == 0) break;
        ++count;
    }
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(hr, WBEM_E_TIMED_OUT);  // after the rows
    rows.release();
    disconnect();
}

TEST_F(SimulatedWmi, ValuesAreRealVariantsAndTheirStorageIsTracked) {
    auto& machine = start();
    connect();
    ComPtr<IEnumWbemClassObject> rows;
    ASSERT_EQ(query(L"SELECT * FROM Win32_NTEventlogFile WHERE LogfileName = \"System\"", rows), S_OK);
    ComPtr<IWbemClassObject> row;
    ULONG returned = 0;
    ASSERT_EQ(rows->Next(WBEM_INFINITE, 1, row.put(), &returned), S_OK);

    VARIANT sources;
    VariantInit(&sources);
    ASSERT_EQ(row->Get(L"Sources", 0, &sources, nullptr, nullptr), S_OK);
    ASSERT_EQ(sources.vt, VT_ARRAY | VT_BSTR);
    void* data = nullptr;
    ASSERT_EQ(api().SafeArrayAccessData(sources.parray, &data), S_OK);
    LONG lower = -1, upper = -1, index = 2;
    api().SafeArrayGetLBound(sources.parray, 1, &lower);
    api().SafeArrayGetUBound(sources.parray, 1, &upper);
    EXPECT_EQ(upper - lower + 1, 6);
    BSTR element = nullptr;
    ASSERT_EQ(api().SafeArrayGetElement(sources.parray, &index, &element), S_OK);
    EXPECT_STREQ(element, L"disk");

    auto leaks = machine.outstandingResources();
    EXPECT_THAT(leaks, ::testing::Contains(HasSubstr("locked by SafeArrayAccessData")));
    EXPECT_THAT(leaks, ::testing::Contains(HasSubstr("\"disk\" copied out by SafeArrayGetElement")));
    EXPECT_THAT(leaks, ::testing::Contains(HasSubstr("safe array from Get of Win32_NTEventlogFile.Sources")));
    api().SysFreeString(element);
    api().SafeArrayUnaccessData(sources.parray);
    EXPECT_EQ(api().VariantClear(&sources), S_OK);

    VARIANT missing;
    VariantInit(&missing);
    EXPECT_EQ(row->Get(L"NoSuchProperty", 0, &missing, nullptr, nullptr), WBEM_E_NOT_FOUND);
    EXPECT_EQ(missing.vt, VT_EMPTY);

    // Everything still held is one COM reference each: row, enumerator, services, locator.
    EXPECT_EQ(machine.outstandingResources().size(), 4u);
    row.release();
    rows.release();
    disconnect();
}

TEST_F(SimulatedWmi, LeakedReferenceIsReported) {
    auto& machine = start();
    connect();
    services->AddRef();
    disconnect();
    EXPECT_THAT(machine.outstandingResources(), ElementsAre(HasSubstr("IWbemServices ROOT\\CIMV2 (1 reference(s))")));
    discard();  // the extra reference is deliberately left: the object outlives the machine, inert
}

TEST_F(SimulatedWmi, SetupFaultsComeBackFromTheirSteps) {
    profile.wmi.faults.createLocator = REGDB_E_CLASSNOTREG;
    start();
    ASSERT_EQ(api().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(api().CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.putVoid()), REGDB_E_CLASSNOTREG);
    api().CoUninitialize();

    profile.wmi.faults = {};
    profile.wmi.faults.connectServer = WBEM_E_ACCESS_DENIED;
    profile.wmi.faults.setProxyBlanket = E_ACCESSDENIED;
    start();
    ASSERT_EQ(api().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_EQ(api().CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.putVoid()), S_OK);
    BSTR nameSpace = api().SysAllocString(L"ROOT\\CIMV2");
    EXPECT_EQ(locator->ConnectServer(nameSpace, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put()), WBEM_E_ACCESS_DENIED);
    EXPECT_FALSE(services);
    api().SysFreeString(nameSpace);
    locator.release();
    api().CoUninitialize();
}

}  // namespace
}  // namespace Corvane::testing
