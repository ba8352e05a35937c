/* A planted module.  Built as IPHLPAPI.dll, MPR.dll and POWRPROF.dll, it
 * leaves "<its own path>.loaded" in its folder when a process loads it.  It
 * exports the functions the library uses, failing, so that an import of it
 * would load it (and leave the marker) rather than fail to resolve.  Not
 * windows.h: its winnetwk.h declares WNetGetProviderNameW without dllexport. */
#include <windef.h>
#include <winbase.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t marker[MAX_PATH + 8];
        DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(marker, L".loaded");
            HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
    return TRUE;
}

__declspec(dllexport) ULONG WINAPI GetAdaptersInfo(void* adapters, PULONG size) {
    (void)adapters, (void)size;
    return ERROR_NOT_SUPPORTED;
}
__declspec(dllexport) DWORD WINAPI WNetGetProviderNameW(DWORD netType, LPWSTR name, LPDWORD size) {
    (void)netType, (void)name, (void)size;
    return ERROR_NO_NETWORK;
}
__declspec(dllexport) BOOLEAN WINAPI GetPwrCapabilities(void* capabilities) {
    (void)capabilities;
    return FALSE;
}
