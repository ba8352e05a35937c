#include <gmock/gmock.h>

#include <cstring>

#include "support/SimulatedMachineTest.h"

namespace Corvane::testing {
namespace {

using namespace Corvane::profile;

constexpr DWORD kRsmb = 0x52534D42;
constexpr DWORD kAcpi = 0x41435049;

class SimulatedFirmware : public SimulatedMachineTest {
protected:
    platform::GetSystemFirmwareTableFn getTable = nullptr;
    platform::EnumSystemFirmwareTablesFn enumTables = nullptr;

    void resolve() {
        HMODULE kernel32 = platform::win32().LoadLibraryA("Kernel32.dll");
        getTable = reinterpret_cast<platform::GetSystemFirmwareTableFn>(platform::win32().GetProcAddress(kernel32, "GetSystemFirmwareTable"));
        enumTables = reinterpret_cast<platform::EnumSystemFirmwareTablesFn>(platform::win32().GetProcAddress(kernel32, "EnumSystemFirmwareTables"));
        platform::win32().FreeLibrary(kernel32);
        ASSERT_TRUE(getTable && enumTables);
    }
};

TEST_F(SimulatedFirmware, TableOf4096BytesFitsTheFirstCallAndOf4097NeedsASecond) {
    setSmbios(profile, std::vector<uint8_t>(4096, 0x11));
    addAcpiTable(profile, "OEM1", std::vector<uint8_t>(4097, 0x22));
    auto& machine = start();
    resolve();
    std::vector<uint8_t> buffer(4096, 0);
    EXPECT_EQ(getTable(kRsmb, 0, buffer.data(), 4096), 4096u);
    EXPECT_EQ(buffer[4095], 0x11);

    std::fill(buffer.begin(), buffer.end(), 0);
    EXPECT_EQ(getTable(kAcpi, acpiTableId("OEM1"), buffer.data(), 4096), 4097u);
    EXPECT_EQ(buffer[0], 0);  // too small: nothing copied
    buffer.resize(4097);
    EXPECT_EQ(getTable(kAcpi, acpiTableId("OEM1"), buffer.data(), 4097), 4097u);
    EXPECT_EQ(buffer[4096], 0x22);
    EXPECT_EQ(machine.calls().back().argument, "ACPI 0x314D454F");

    machine.faults().firmwareSecondCallFails = true;
    EXPECT_EQ(getTable(kAcpi, acpiTableId("OEM1"), buffer.data(), 4097), 0u);
    EXPECT_EQ(getTable(kAcpi, acpiTableId("NONE"), buffer.data(), 4097), 0u);
}

TEST_F(SimulatedFirmware, EnumerationListsIdsInOrderAndCanBeOverridden) {
    start();
    resolve();
    std::vector<uint32_t> ids(1024, 0);
    UINT bytes = enumTables(kAcpi, ids.data(), 4096);
    ASSERT_EQ(bytes, 4 * profile.firmware.acpiTables.size());
    for (size_t i = 0; i < profile.firmware.acpiTables.size(); ++i) EXPECT_EQ(ids[i], profile.firmware.acpiTables[i].id);
    EXPECT_EQ(ids[0], acpiTableId("FACP"));
    uint32_t one = 0;
    EXPECT_EQ(enumTables(kAcpi, &one, 4), bytes);  // too small: the size needed, nothing copied
    EXPECT_EQ(one, 0u);

    profile.firmware.acpiEnumerationResult = 8192;
    start();
    resolve();
    std::fill(ids.begin(), ids.end(), 0);
    EXPECT_EQ(enumTables(kAcpi, ids.data(), 4096), 8192u);
    EXPECT_EQ(ids[0], acpiTableId("FACP"));

    profile.firmware.rawSmbios.reset();
    start();
    resolve();
    std::vector<uint8_t> buffer(4096);
    EXPECT_EQ(getTable(kRsmb, 0, buffer.data(), 4096), 0u);
}

class SimulatedAdapters : public SimulatedMachineTest {};

TEST_F(SimulatedAdapters, OverflowReportsTheSizeAndTheListIsLaidOutInTheBuffer) {
    addAdapter(profile, "08:00:27:12:34:56", "VirtualBox Host-Only Ethernet Adapter").addressLength = 6;
    addAdapter(profile, "00:50:56:01:02:03", "VMware Virtual Ethernet Adapter").addressLength = 3;
    start();
    ULONG size = sizeof(IP_ADAPTER_INFO);
    std::vector<unsigned char> first(size);
    EXPECT_EQ(platform::win32().GetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(first.data()), &size), static_cast<ULONG>(ERROR_BUFFER_OVERFLOW));
    ASSERT_EQ(size, 3 * sizeof(IP_ADAPTER_INFO));

    std::vector<unsigned char> buffer(size);
    auto* list = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data());
    ASSERT_EQ(platform::win32().GetAdaptersInfo(list, &size), static_cast<ULONG>(ERROR_SUCCESS));
    std::vector<std::string> descriptions;
    for (auto* a = list; a; a = a->Next) {
        EXPECT_GE(reinterpret_cast<unsigned char*>(a), buffer.data());
        EXPECT_LT(reinterpret_cast<unsigned char*>(a), buffer.data() + buffer.size());
        descriptions.push_back(a->Description);
    }
    EXPECT_THAT(descriptions, ::testing::ElementsAre("Intel(R) Ethernet Connection (7) I219-LM", "VirtualBox Host-Only Ethernet Adapter",
                                                     "VMware Virtual Ethernet Adapter"));
    EXPECT_EQ(list->Next->AddressLength, 6u);
    EXPECT_EQ(list->Next->Address[2], 0x27);
    EXPECT_EQ(list->Next->Next->AddressLength, 3u);  // the profile's claim, whatever the bytes
    EXPECT_EQ(list->Next->Next->Address[5], 0x03);
}

TEST_F(SimulatedAdapters, NoAdaptersAndOverriddenErrors) {
    profile.adapters.clear();
    start();
    IP_ADAPTER_INFO one{};
    ULONG size = sizeof one;
    EXPECT_EQ(platform::win32().GetAdaptersInfo(&one, &size), static_cast<ULONG>(ERROR_NO_DATA));
    profile.adapters = physicalMachineWithoutSigns().adapters;
    profile.system.adaptersInfoError = ERROR_NOT_SUPPORTED;
    start();
    EXPECT_EQ(platform::win32().GetAdaptersInfo(&one, &size), static_cast<ULONG>(ERROR_NOT_SUPPORTED));
}

class SimulatedSetupApi : public SimulatedMachineTest {};

TEST_F(SimulatedSetupApi, DiskDriveWalkFollowsTheProtocol) {
    addDiskDrive(profile, {L"SCSI\\DiskVBOX_HARDDISK___", L"GenDisk"});
    auto& machine = start();
    const auto& api = platform::win32();
    static const GUID diskDrives = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    HDEVINFO set = api.SetupDiGetClassDevsW(&diskDrives, nullptr, nullptr, DIGCF_PRESENT);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);

    SP_DEVINFO_DATA device{};
    device.cbSize = 28;
    EXPECT_FALSE(api.SetupDiEnumDeviceInfo(set, 0, &device));
    EXPECT_EQ(api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    device.cbSize = sizeof device;
    ASSERT_EQ(sizeof device, 32u);
    ASSERT_TRUE(api.SetupDiEnumDeviceInfo(set, 1, &device));

    DWORD required = 0;
    EXPECT_FALSE(api.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, nullptr, nullptr, 0, &required));
    EXPECT_EQ(api.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, registryMultiStringBytes({L"SCSI\\DiskVBOX_HARDDISK___", L"GenDisk"}).size());
    std::vector<BYTE> buffer(required);
    DWORD type = 0;
    ASSERT_TRUE(api.SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type, buffer.data(), required, &required));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_STREQ(reinterpret_cast<wchar_t*>(buffer.data()), L"SCSI\\DiskVBOX_HARDDISK___");

    EXPECT_FALSE(api.SetupDiEnumDeviceInfo(set, 2, &device));
    EXPECT_EQ(api.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(machine.outstandingResources().size(), 1u);
    EXPECT_TRUE(api.SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(api.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));  // destroying leaves the walk's error
}

TEST_F(SimulatedSetupApi, InjectedErrorRemainsAfterTheWalk) {
    profile.system.setupDiError = ERROR_INVALID_DATA;
    start();
    const auto& api = platform::win32();
    static const GUID diskDrives = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    HDEVINFO set = api.SetupDiGetClassDevsW(&diskDrives, nullptr, nullptr, DIGCF_PRESENT);
    SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
    DWORD index = 0;
    while (api.SetupDiEnumDeviceInfo(set, index, &device)) ++index;
    EXPECT_EQ(index, 1u);
    api.SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

}  // namespace
}  // namespace Corvane::testing
