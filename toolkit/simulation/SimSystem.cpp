// Network adapters, network providers, top-level windows and power
// capabilities.
#include <algorithm>
#include <cstring>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

template <size_t N>
void copyNarrow(char (&out)[N], const std::string& text) {
    auto n = std::min(text.size(), N - 1);
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

void setAddress(IP_ADDR_STRING& entry, const char* address, const char* mask) {
    copyNarrow(entry.IpAddress.String, address);
    copyNarrow(entry.IpMask.String, mask);
}

}  // namespace

ULONG WINAPI simGetAdaptersInfo(PIP_ADAPTER_INFO buffer, PULONG size) {
    Session s("GetAdaptersInfo", size ? std::to_string(*size) : "(null)");
    const auto& m = s.m;
    if (!size) return ERROR_INVALID_PARAMETER;
    if (m.faults.failGetAdaptersInfo) return ERROR_NOT_SUPPORTED;
    if (m.profile.system.adaptersInfoError) return *m.profile.system.adaptersInfoError;
    const auto& adapters = m.profile.adapters;
    if (adapters.empty()) return ERROR_NO_DATA;

    auto needed = static_cast<ULONG>(adapters.size() * sizeof(IP_ADAPTER_INFO));
    if (!buffer || *size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(buffer, 0, needed);
    for (size_t i = 0; i < adapters.size(); ++i) {
        const auto& adapter = adapters[i];
        auto& record = buffer[i];
        record.Next = i + 1 < adapters.size() ? &buffer[i + 1] : nullptr;
        record.ComboIndex = static_cast<DWORD>(i + 1);
        record.Index = static_cast<DWORD>(i + 1);
        copyNarrow(record.AdapterName, adapter.adapterName);
        copyNarrow(record.Description, adapter.description);
        record.AddressLength = adapter.addressLength;
        std::copy_n(adapter.address.begin(), std::min<size_t>(adapter.address.size(), MAX_ADAPTER_ADDRESS_LENGTH),
                    record.Address);
        record.Type = MIB_IF_TYPE_ETHERNET;
        record.DhcpEnabled = TRUE;
        setAddress(record.IpAddressList, "0.0.0.0", "0.0.0.0");
        setAddress(record.GatewayList, "0.0.0.0", "");
        setAddress(record.DhcpServer, "", "");
    }
    *size = needed;
    return ERROR_SUCCESS;
}

DWORD WINAPI simWNetGetProviderNameW(DWORD netType, LPWSTR name, LPDWORD size) {
    Session s("WNetGetProviderNameW", hexArgument(netType));
    auto result = [&](DWORD code) {
        s.m.setLastError(code);
        return code;
    };
    if (!size) return result(ERROR_INVALID_ADDRESS);
    for (const auto& provider : s.m.profile.networkProviders) {
        if (provider.netType != netType) continue;
        auto needed = static_cast<DWORD>(provider.name.size() + 1);
        if (!name || *size < needed) {
            *size = needed;
            return result(ERROR_MORE_DATA);
        }
        std::copy(provider.name.begin(), provider.name.end(), name);
        name[provider.name.size()] = 0;
        return result(NO_ERROR);
    }
    return result(ERROR_NO_NETWORK);
}

HWND WINAPI simFindWindowW(LPCWSTR className, LPCWSTR title) {
    // A class given as an atom (below 0x10000) matches no window of a profile.
    bool classIsAtom = className && reinterpret_cast<uintptr_t>(className) < 0x10000;
    Session s("FindWindowW",
              (classIsAtom ? std::string("#atom") : narrowArgument(className)) + " | " + narrowArgument(title));
    if (classIsAtom) return nullptr;
    const auto& windows = s.m.profile.windows;
    for (size_t i = 0; i < windows.size(); ++i) {
        if (className && !equalsIgnoreCase(windows[i].className, className)) continue;
        if (title && !equalsIgnoreCase(windows[i].title, title)) continue;
        return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010 + 2 * i));  // window handles are opaque numbers
    }
    return nullptr;  // not found; like Windows, the last error says nothing more
}

BOOLEAN WINAPI simGetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
    Session s("GetPwrCapabilities");
    const auto& power = s.m.profile.system.power;
    if (!power.callSucceeds || !capabilities) {
        s.m.setLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::memset(capabilities, 0, sizeof *capabilities);
    capabilities->PowerButtonPresent = TRUE;
    capabilities->SleepButtonPresent = FALSE;
    capabilities->SystemS1 = power.systemS1;
    capabilities->SystemS2 = power.systemS2;
    capabilities->SystemS3 = power.systemS3;
    capabilities->SystemS4 = power.systemS4;
    capabilities->SystemS5 = TRUE;
    capabilities->HiberFilePresent = power.systemS4;
    capabilities->ThermalControl = power.thermalControl;
    capabilities->ProcessorThrottle = TRUE;
    capabilities->ProcessorMinThrottle = 5;
    capabilities->ProcessorMaxThrottle = 100;
    capabilities->AcOnLineWake = PowerSystemSleeping1;
    capabilities->SoftLidWake = PowerSystemUnspecified;
    capabilities->RtcWake = PowerSystemSleeping3;
    capabilities->MinDeviceWakeState = PowerSystemSleeping1;
    capabilities->DefaultLowLatencyWake = PowerSystemUnspecified;
    return s.m.faults.powerAnswer.value_or(TRUE);
}

}  // namespace Corvane::simulated::detail
