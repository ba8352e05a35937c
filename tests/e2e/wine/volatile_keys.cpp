// Creates registry keys under HKEY_LOCAL_MACHINE as volatile keys, the way
// Windows builds HKLM\HARDWARE at every start.  Wine rebuilds HARDWARE at each
// session start and refuses persistent keys below its volatile ones, so the
// dressing of HARDWARE\... goes through here, after the prefix's wineserver
// has started; values are then set on the existing keys with regedit.
//
//   volatile_keys.exe KEY...     e.g. "HARDWARE\ACPI\DSDT\VBOX__"
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        HKEY key = nullptr;
        const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, argv[i], 0, nullptr, REG_OPTION_VOLATILE,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "volatile_keys: cannot create HKLM\\%ls (error %ld)\n", argv[i], status);
            ++failures;
            continue;
        }
        RegCloseKey(key);
    }
    return failures == 0 ? 0 : 1;
}
