// SetupAPI over the profile's disk drives: one device information set per
// SetupDiGetClassDevsW, SPDRP_HARDWAREID as a multi-string.
#include <cstring>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

// {4D36E967-E325-11CE-BFC1-08002BE10318}
constexpr GUID kDiskDriveClass = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

HandleEntry* deviceSet(MachineState& m, HDEVINFO set) {
    auto* entry = m.findHandle(reinterpret_cast<uintptr_t>(set), HandleKind::DeviceInfoSet);
    if (!entry) m.setLastError(ERROR_INVALID_HANDLE);
    return entry;
}

std::vector<uint8_t> multiString(const std::vector<std::wstring>& strings) {
    std::vector<uint8_t> out;
    auto put = [&](wchar_t c) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    };
    for (const auto& s : strings) {
        for (wchar_t c : s) put(c);
        put(0);
    }
    put(0);
    return out;
}

}  // namespace

HDEVINFO WINAPI simSetupDiGetClassDevsW(const GUID* classGuid, PCWSTR, HWND, DWORD flags) {
    bool diskDrives = classGuid && IsEqualGUID(*classGuid, kDiskDriveClass);
    Session s("SetupDiGetClassDevsW", diskDrives ? "disk drives" : "other class");
    if (!classGuid && !(flags & DIGCF_ALLCLASSES)) {
        s.m.setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    HandleEntry entry{HandleKind::DeviceInfoSet,
                      diskDrives ? "device information set of the disk drives" : "device information set"};
    if (diskDrives) entry.drives = s.m.profile.diskDrives;
    s.m.setLastError(ERROR_SUCCESS);
    return reinterpret_cast<HDEVINFO>(s.m.addHandle(std::move(entry)));
}

BOOL WINAPI simSetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) {
    Session s("SetupDiEnumDeviceInfo", std::to_string(index));
    auto* entry = deviceSet(s.m, set);
    if (!entry) return FALSE;
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        s.m.setLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (index >= entry->drives.size()) {
        s.m.setLastError(s.m.profile.system.setupDiError.value_or(ERROR_NO_MORE_ITEMS));
        return FALSE;
    }
    device->ClassGuid = kDiskDriveClass;
    device->DevInst = 0x100 + index;
    device->Reserved = index + 1;     // which device of the set the record names
    s.m.setLastError(ERROR_SUCCESS);  // SetupAPI clears the last error on success
    return TRUE;
}

BOOL WINAPI simSetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD type,
                                                 PBYTE buffer, DWORD size, PDWORD required) {
    Session s("SetupDiGetDeviceRegistryPropertyW", std::to_string(property));
    auto* entry = deviceSet(s.m, set);
    if (!entry) return FALSE;
    if (!device || device->cbSize != sizeof(SP_DEVINFO_DATA) || device->Reserved == 0 ||
        device->Reserved > entry->drives.size()) {
        s.m.setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!buffer && size != 0) {
        s.m.setLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    const auto& drive = entry->drives[device->Reserved - 1];
    if (property != SPDRP_HARDWAREID || drive.hardwareIds.empty()) {
        s.m.setLastError(ERROR_INVALID_DATA);  // the device has no such property
        return FALSE;
    }
    auto data = multiString(drive.hardwareIds);
    if (required) *required = static_cast<DWORD>(data.size());
    if (type) *type = REG_MULTI_SZ;
    if (size < data.size()) {
        s.m.setLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, data.data(), data.size());
    s.m.setLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI simSetupDiDestroyDeviceInfoList(HDEVINFO set) {
    Session s("SetupDiDestroyDeviceInfoList");
    auto value = reinterpret_cast<uintptr_t>(set);
    if (!s.m.findHandle(value, HandleKind::DeviceInfoSet)) {
        s.m.noteInvalidRelease("SetupDiDestroyDeviceInfoList of a set that is not open");
        s.m.setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    s.m.handles.erase(value);
    // The walk's last error is what the profile recorded after it, whether the walk ended at
    // the end of the list or at a match; otherwise it is left as the walk left it.
    if (auto error = s.m.profile.system.setupDiError) s.m.setLastError(*error);
    return TRUE;
}

}  // namespace Corvane::simulated::detail
