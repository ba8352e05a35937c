#include <gmock/gmock.h>

#include "toolkit/profile/ProfileText.h"
#include "support/SimulatedMachineTest.h"

namespace Corvane::testing {
namespace {

using namespace Corvane::profile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SimulatedRegistry : public SimulatedMachineTest {
protected:
    const platform::Win32Api& api() { return platform::win32(); }

    HKEY open(HKEY root, const wchar_t* path, LSTATUS expected = ERROR_SUCCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(api().RegOpenKeyExW(root, path, 0, KEY_READ, &key), expected) << toUtf8(path);
        return key;
    }
};

TEST_F(SimulatedRegistry, KeysOpenCaseInsensitivelyWithTheirParents) {
    addRegistryKey(profile, L"HKCU", L"SOFTWARE\\Wine\\Debug");
    start();
    for (const auto* path : {L"SOFTWARE\\Wine\\Debug", L"software\\WINE", L"SOFTWARE"}) api().RegCloseKey(open(HKEY_CURRENT_USER, path));
    open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wine", ERROR_FILE_NOT_FOUND);  // HKCU only
    open(HKEY_CURRENT_USER, L"SOFTWARE\\Win", ERROR_FILE_NOT_FOUND);    // not a prefix at a separator
    HKEY relative = nullptr;
    HKEY software = open(HKEY_CURRENT_USER, L"SOFTWARE");
    EXPECT_EQ(api().RegOpenKeyExW(software, L"Wine", 0, KEY_READ, &relative), ERROR_SUCCESS);
    api().RegCloseKey(relative);
    api().RegCloseKey(software);
    EXPECT_EQ(machine().calls().front().argument, "HKCU\\SOFTWARE\\Wine\\Debug");
}

TEST_F(SimulatedRegistry, AccessDeniedAndForeignHandles) {
    addRegistryKey(profile, L"HKLM", L"SOFTWARE\\Locked").accessDenied = true;
    start();
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Locked", ERROR_ACCESS_DENIED), nullptr);
    HKEY stranger = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    HKEY out = nullptr;
    EXPECT_EQ(api().RegOpenKeyExW(stranger, L"x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(api().RegQueryValueExW(stranger, L"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

TEST_F(SimulatedRegistry, QueryFollowsTheSizeProtocol) {
    auto& key = addRegistryKey(profile, L"HKLM", L"HARDWARE\\Description\\System");
    addRawValue(key, L"Long", REG_SZ, std::vector<uint8_t>(261, 0x41));
    addRawValue(key, L"Fits", REG_BINARY, std::vector<uint8_t>(260, 0x42));
    start();
    HKEY handle = open(HKEY_LOCAL_MACHINE, L"HARDWARE\\Description\\System");

    DWORD type = 0, size = 0;
    EXPECT_EQ(api().RegQueryValueExW(handle, L"SystemBiosVersion", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(size, registryMultiStringBytes({L"DELL   - 1072009", L"1.18.0"}).size());

    std::vector<BYTE> buffer(2048, 0xEE);
    size = 260;
    EXPECT_EQ(api().RegQueryValueExW(handle, L"long", nullptr, nullptr, buffer.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 261u);
    EXPECT_EQ(buffer[0], 0xEE);  // nothing copied

    size = 260;
    EXPECT_EQ(api().RegQueryValueExW(handle, L"FITS", nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 260u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(buffer[259], 0x42);
    EXPECT_EQ(buffer[260], 0xEE);

    size = 260;
    EXPECT_EQ(api().RegQueryValueExW(handle, L"Missing", nullptr, nullptr, buffer.data(), &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(api().RegQueryValueExW(handle, L"Fits", nullptr, nullptr, buffer.data(), nullptr), ERROR_INVALID_PARAMETER);
    api().RegCloseKey(handle);
}

TEST_F(SimulatedRegistry, LeakedKeyAndDoubleCloseAreReported) {
    auto& machine = start();
    HKEY handle = open(HKEY_LOCAL_MACHINE, L"HARDWARE\\Description\\System");
    EXPECT_THAT(machine.outstandingResources(), ElementsAre("registry key HKLM\\HARDWARE\\Description\\System"));
    EXPECT_EQ(api().RegCloseKey(handle), ERROR_SUCCESS);
    EXPECT_TRUE(machine.outstandingResources().empty());
    EXPECT_EQ(api().RegCloseKey(handle), ERROR_INVALID_HANDLE);
    ASSERT_EQ(machine.invalidReleases().size(), 1u);
    EXPECT_THAT(machine.invalidReleases()[0], HasSubstr("RegCloseKey"));
    discard();  // the double close was deliberate
}

}  // namespace
}  // namespace Corvane::testing
