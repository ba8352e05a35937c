#include <gmock/gmock.h>

#include "support/SimulatedMachineTest.h"

namespace Corvane::testing {
namespace {

using namespace Corvane::profile;

class SimulatedFiles : public SimulatedMachineTest {
protected:
    const platform::Win32Api& api() { return platform::win32(); }

    // The attributes, or the last error as a negative number when the query fails.
    long long status(const wchar_t* path) {
        DWORD attributes = api().GetFileAttributesW(path);
        return attributes == INVALID_FILE_ATTRIBUTES ? -static_cast<long long>(api().GetLastError()) : attributes;
    }
};

TEST_F(SimulatedFiles, AttributesOfFilesFoldersAndMissingPaths) {
    addFile(profile, L"C:\\Windows\\System32\\drivers\\VBoxMouse.sys");
    addDirectory(profile, L"C:\\Windows\\System32\\drivers\\VBoxGuest.sys");
    addPathError(profile, L"C:\\Secret", ERROR_ACCESS_DENIED);
    start();
    EXPECT_EQ(status(L"c:\\windows\\system32\\DRIVERS\\vboxmouse.sys"), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(status(L"C:\\Windows\\System32\\drivers\\VBoxGuest.sys"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(status(L"C:\\Windows\\System32\\drivers\\"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(status(L"C:/Windows/System32"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(status(L"C:\\Windows\\System32\\drivers\\VBoxMouse.sys\\"), -ERROR_INVALID_NAME);
    EXPECT_EQ(status(L"C:\\Windows\\System32\\drivers\\VBoxSF.sys"), -ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(status(L"C:\\No\\Such\\file.sys"), -ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(status(L"C:\\Secret\\inner.txt"), -ERROR_ACCESS_DENIED);
}

TEST_F(SimulatedFiles, Wow64RedirectionHidesTheNativeSystemFolderUntilSwitchedOff) {
    profile.system.wow64 = true;
    addFile(profile, L"C:\\Windows\\System32\\drivers\\vmmouse.sys");
    auto& machine = start();
    const wchar_t* path = L"C:\\Windows\\System32\\drivers\\vmmouse.sys";
    EXPECT_EQ(status(path), -ERROR_FILE_NOT_FOUND);  // SysWOW64\drivers has no such file

    PVOID saved = nullptr;
    ASSERT_TRUE(api().Wow64DisableWow64FsRedirection(&saved));
    EXPECT_EQ(status(path), FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_THAT(machine.outstandingResources(), ::testing::ElementsAre(::testing::HasSubstr("WoW64 file-system redirection")));
    ASSERT_TRUE(api().Wow64RevertWow64FsRedirection(saved));
    EXPECT_EQ(status(path), -ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(api().Wow64RevertWow64FsRedirection(saved));
    EXPECT_EQ(machine.invalidReleases().size(), 1u);
    discard();
}

TEST_F(SimulatedFiles, RedirectionCallsFailInANativeProcess) {
    start();
    PVOID saved = nullptr;
    EXPECT_FALSE(api().Wow64DisableWow64FsRedirection(&saved));
    EXPECT_EQ(api().GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
}

TEST_F(SimulatedFiles, FoldersAndEnvironmentReportTheSizeNeeded) {
    profile.system.windowsDirectory = L"D:\\WinNT";
    profile.system.programW6432 = L"D:\\Program Files";
    start();
    wchar_t small[4] = {L'x', 0, 0, 0};
    EXPECT_EQ(api().GetWindowsDirectoryW(small, 4), 9u);  // "D:\WinNT" and its NUL
    EXPECT_EQ(small[0], L'x');
    wchar_t buffer[MAX_PATH] = {};
    EXPECT_EQ(api().GetWindowsDirectoryW(buffer, MAX_PATH), 8u);
    EXPECT_STREQ(buffer, L"D:\\WinNT");

    EXPECT_EQ(api().ExpandEnvironmentStringsW(L"%ProgramW6432%\\x", buffer, MAX_PATH), 19u);
    EXPECT_STREQ(buffer, L"D:\\Program Files\\x");
    EXPECT_EQ(api().ExpandEnvironmentStringsW(L"%SYSTEMROOT%;%windir%;%Nope%", buffer, MAX_PATH), 25u);
    EXPECT_STREQ(buffer, L"D:\\WinNT;D:\\WinNT;%Nope%");
    EXPECT_EQ(api().ExpandEnvironmentStringsW(L"%ProgramFiles%", small, 4), 17u);

    EXPECT_TRUE(api().SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE));
    EXPECT_STREQ(buffer, L"C:\\Program Files");
    wchar_t combined[MAX_PATH] = {};
    api().PathCombineW(combined, L"C:\\Program Files", L"oracle\\virtualbox guest additions\\");
    EXPECT_STREQ(combined, L"C:\\Program Files\\oracle\\virtualbox guest additions\\");
}

TEST_F(SimulatedFiles, DevicesOpenUnlessBusyAndHandlesAreTracked) {
    addDevice(profile, L"\\\\.\\VBoxGuest");
    addDevice(profile, L"\\\\.\\pipe\\VBoxTrayIPC", ERROR_PIPE_BUSY);
    auto& machine = start();
    auto openDevice = [&](const wchar_t* name) {
        return api().CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE guest = openDevice(L"\\\\.\\vboxguest");
    ASSERT_NE(guest, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openDevice(L"\\\\.\\pipe\\VBoxTrayIPC"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api().GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));
    EXPECT_EQ(openDevice(L"\\\\.\\VBoxMiniRdrDN"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE file = openDevice(L"C:\\Windows\\explorer.exe");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(openDevice(L"C:\\Windows"), INVALID_HANDLE_VALUE);  // a folder needs FILE_FLAG_BACKUP_SEMANTICS
    EXPECT_EQ(machine.outstandingResources().size(), 2u);
    EXPECT_TRUE(api().CloseHandle(guest));
    EXPECT_TRUE(api().CloseHandle(file));
}

}  // namespace
}  // namespace Corvane::testing
