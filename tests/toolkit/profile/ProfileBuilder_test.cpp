#include <gtest/gtest.h>

#include <algorithm>

#include "toolkit/profile/ProfileBuilder.h"
#include "toolkit/profile/ProfileJson.h"

namespace Corvane::profile {
namespace {

bool contains(const std::vector<uint8_t>& data, std::string_view pattern) {
    return std::search(data.begin(), data.end(), pattern.begin(), pattern.end()) != data.end();
}

TEST(ProfileBuilder, ValuesReplaceByNameAndKeysAreFoundAgain) {
    MachineProfile p;
    auto& key = addRegistryKey(p, L"HKLM", L"SOFTWARE\\Test");
    addStringValue(key, L"Name", L"one");
    addStringValue(key, L"NAME", L"two");
    ASSERT_EQ(key.values.size(), 1u);
    EXPECT_EQ(key.values[0].data, registryStringBytes(L"two"));
    EXPECT_EQ(&addRegistryKey(p, L"hklm", L"software\\test"), &p.registry[0]);
    EXPECT_THROW(addRegistryKey(p, L"HKCR", L"x"), std::invalid_argument);
}

TEST(ProfileBuilder, ProcessesGetDistinctPids) {
    MachineProfile p;
    auto first = addProcess(p, L"a.exe").pid;
    auto second = addProcess(p, L"b.exe").pid;
    EXPECT_NE(first, 0u);
    EXPECT_GT(second, first);
    removeProcess(p, L"a.exe");
    ASSERT_EQ(p.processes.size(), 1u);
    EXPECT_EQ(p.processes[0].exeName, L"b.exe");
}

TEST(ProfileBuilder, AcpiTableBytesHaveAValidHeader) {
    auto table = acpiTableBytes("SSDT", "DELL  ", "CBX3    ", {1, 2, 3});
    ASSERT_EQ(table.size(), 39u);
    EXPECT_EQ(std::string(table.begin(), table.begin() + 4), "SSDT");
    EXPECT_EQ(table[4], 39);
    uint8_t sum = 0;
    for (auto b : table) sum = static_cast<uint8_t>(sum + b);
    EXPECT_EQ(sum, 0);
}

TEST(ProfileBuilder, WmiValuesAreSetInPlace) {
    MachineProfile p;
    setWmiValue(p, L"Win32_BIOS", L"SerialNumber", wmiText(L"1"));
    setWmiValue(p, L"win32_bios", L"serialnumber", wmiText(L"0"));
    setWmiValue(p, L"Win32_BIOS", L"Version", wmiNull(), 1);
    const auto* c = findWmiClass(p, L"WIN32_BIOS");
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->rows.size(), 2u);
    ASSERT_EQ(c->rows[0].properties.size(), 1u);
    EXPECT_EQ(c->rows[0].properties[0].second.text, L"0");
    EXPECT_EQ(c->rows[1].properties[0].second.vt, 1);
}

// The physical machine must not carry any of the byte patterns the firmware checks look for.
TEST(ProfileBuilder, PhysicalMachineCarriesNoVirtualMachineText) {
    auto p = physicalMachineWithoutSigns();
    const char* patterns[] = {"VirtualBox", "vbox", "VBOX", "VMware", "VMWARE", "qemu", "QEMU", "BOCH", "BXPC", "Xen", "Parallels", "Virtual"};
    ASSERT_TRUE(p.firmware.rawSmbios);
    for (const auto* pattern : patterns) {
        EXPECT_FALSE(contains(*p.firmware.rawSmbios, pattern)) << pattern;
        for (const auto& table : p.firmware.acpiTables) EXPECT_FALSE(contains(table.data, pattern)) << pattern;
    }
    auto withoutFirmware = p;
    withoutFirmware.firmware = {};  // base64 text may hold any letters
    auto json = toJson(withoutFirmware);
    for (const auto* pattern : {"VirtualBox", "vbox", "VBOX", "VMware", "QEMU", "Xen", "08:00:27", "innotek"})
        EXPECT_EQ(json.find(pattern), std::string::npos) << pattern;
    EXPECT_GE(p.firmware.acpiTables.size(), 4u);
    EXPECT_GT(findWmiClass(p, L"Win32_Bus")->rows.size(), 3u);
    EXPECT_GE(p.system.totalPhysicalMemory.value_or(0), 1ull << 30);
}

}  // namespace
}  // namespace Corvane::profile
