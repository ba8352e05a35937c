// The baseline detection: the library's checks, in the library's order, as
// plain Win32 and COM code.  Every function here makes exactly the Windows
// calls of the library check of the same name, so that the benchmark compares
// the library's layers and nothing else (tests/bench checks the calls).

#include "bench/PlainDetection.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "bench/PlainWin32.h"

namespace corvane_bench {
namespace {
constexpr DWORD kRawSmbios = 0x52534D42;  // 'RSMB'
constexpr DWORD kAcpi = 0x41435049;       // 'ACPI'
}  // namespace

struct PlainChecks {
    PlainDetection& d;

    // ---------------------------------------------------------------- WMI

    // One WQL query; null when there is no connection or the query failed
    // (a failed query drops the connection, as the library does).
    IEnumWbemClassObject* query(const wchar_t* text) {
        if (!d.services_) return nullptr;
        BSTR language = PLAIN(SysAllocString)(L"WQL");
        BSTR queryText = PLAIN(SysAllocString)(text);
        IEnumWbemClassObject* rows = nullptr;
        const HRESULT hr = d.services_->ExecQuery(language, queryText,
                                                  WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                                  &rows);
        if (FAILED(hr)) d.disconnect();  // a connection that failed a query is not used again
        PLAIN(SysFreeString)(queryText);
        PLAIN(SysFreeString)(language);
        return SUCCEEDED(hr) ? rows : nullptr;
    }

    static const wchar_t* textOf(const VARIANT& value) {
        if (value.vt != VT_BSTR) return nullptr;
        return value.bstrVal ? value.bstrVal : L"";
    }

    static bool contains(const wchar_t* text, const wchar_t* part) { return text && std::wcsstr(text, part); }

    static bool containsAnyIgnoringCase(const wchar_t* text, std::initializer_list<const wchar_t*> needles) {
        if (!text) return false;
        for (const wchar_t* needle : needles) {
            if (PLAIN(StrStrIW)(text, needle)) return true;
        }
        return false;
    }

    using ValueTest = bool (*)(const VARIANT&);

    // The first row's property put to the test.
    bool firstRowValue(const wchar_t* text, const wchar_t* property, ValueTest test) {
        IEnumWbemClassObject* rows = query(text);
        if (!rows) return false;
        IWbemClassObject* row = nullptr;
        ULONG returned = 0;
        HRESULT hr = rows->Next(WBEM_INFINITE, 1, &row, &returned);
        bool found = false;
        if (returned != 0 && SUCCEEDED(hr)) {
            VARIANT value{};
            hr = row->Get(property, 0, &value, nullptr, nullptr);
            if (SUCCEEDED(hr)) {
                found = test(value);
                PLAIN(VariantClear)(&value);
            }
        }
        rows->Release();
        if (row) row->Release();
        return found;
    }

    int countRows(const wchar_t* text) {
        IEnumWbemClassObject* rows = query(text);
        if (!rows) return -1;
        int count = 0;
        for (;;) {
            IWbemClassObject* row = nullptr;
            ULONG returned = 0;
            rows->Next(WBEM_INFINITE, 1, &row, &returned);
            if (row) row->Release();
            if (returned == 0) break;
            ++count;
        }
        rows->Release();
        return count;
    }

    // ------------------------------------------------------- system probes

    bool processRunning(const wchar_t* exeName) {
        HANDLE snapshot = PLAIN(CreateToolhelp32Snapshot)(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return false;
        PROCESSENTRY32W entry;
        std::memset(&entry, 0, sizeof entry);
        entry.dwSize = sizeof entry;
        bool running = false;
        if (PLAIN(Process32FirstW)(snapshot, &entry)) {
            do {
                if (std::wcscmp(exeName, entry.szExeFile) == 0) {
                    running = true;
                    break;
                }
            } while (PLAIN(Process32NextW)(snapshot, &entry));
        }
        PLAIN(CloseHandle)(snapshot);
        return running;
    }

    bool anyProcess(std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* name : names) {
            if (processRunning(name)) return true;
        }
        return false;
    }

    // The adapter list in a process heap block (null when none could be had);
    // `valid` tells whether the listing succeeded.
    IP_ADAPTER_INFO* adapterList(bool& valid) {
        valid = false;
        auto* list = static_cast<IP_ADAPTER_INFO*>(
            PLAIN(HeapAlloc)(PLAIN(GetProcessHeap)(), 0, sizeof(IP_ADAPTER_INFO)));
        if (!list) return nullptr;
        ULONG length = sizeof(IP_ADAPTER_INFO);
        ULONG result = PLAIN(GetAdaptersInfo)(list, &length);
        if (result == ERROR_BUFFER_OVERFLOW) {
            void* larger = PLAIN(HeapAlloc)(PLAIN(GetProcessHeap)(), 0, length);
            PLAIN(HeapFree)(PLAIN(GetProcessHeap)(), 0, list);
            list = static_cast<IP_ADAPTER_INFO*>(larger);
            if (!list) return nullptr;
            result = PLAIN(GetAdaptersInfo)(list, &length);
        }
        valid = result == ERROR_SUCCESS;
        return list;
    }

    void freeAdapterList(IP_ADAPTER_INFO* list) {
        if (list) PLAIN(HeapFree)(PLAIN(GetProcessHeap)(), 0, list);
    }

    bool macPrefix(uint8_t a, uint8_t b, uint8_t c) {
        bool valid = false;
        IP_ADAPTER_INFO* list = adapterList(valid);
        bool found = false;
        if (list && valid) {
            const uint8_t prefix[3] = {a, b, c};
            for (const IP_ADAPTER_INFO* adapter = list; adapter; adapter = adapter->Next) {
                if (adapter->AddressLength == 6 && std::memcmp(adapter->Address, prefix, 3) == 0) {
                    found = true;
                    break;
                }
            }
        }
        freeAdapterList(list);
        return found;
    }

    bool keyExists(HKEY root, const wchar_t* key) {
        HKEY handle = nullptr;
        if (PLAIN(RegOpenKeyExW)(root, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
        PLAIN(RegCloseKey)(handle);
        return true;
    }

    bool valueContains(const wchar_t* key, const wchar_t* valueName, const wchar_t* text) {
        HKEY handle = nullptr;
        if (PLAIN(RegOpenKeyExW)(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
        wchar_t buffer[1024] = {};
        DWORD size = 260;
        bool found = false;
        if (PLAIN(RegQueryValueExW)(handle, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS) {
            found = PLAIN(StrStrIW)(buffer, text) != nullptr;
        }
        PLAIN(RegCloseKey)(handle);
        return found;
    }

    bool isWow64() {
        if (d.wow64_ >= 0) return d.wow64_ == 1;
        HMODULE kernel32 = PLAIN(LoadLibraryA)("Kernel32.dll");
        using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
        auto isWow64Process =
            kernel32 ? reinterpret_cast<IsWow64ProcessFn>(PLAIN(GetProcAddress)(kernel32, "IsWow64Process")) : nullptr;
        if (!isWow64Process) {
            if (kernel32) PLAIN(FreeLibrary)(kernel32);
            return false;
        }
        BOOL wow64 = FALSE;
        isWow64Process(PLAIN(GetCurrentProcess)(), &wow64);
        d.wow64_ = wow64 ? 1 : 0;
        PLAIN(FreeLibrary)(kernel32);
        return d.wow64_ == 1;
    }

    static bool hasBytes(const uint8_t* data, size_t size, const char* pattern) {
        const size_t length = std::strlen(pattern);
        if (!data || length == 0 || size < length) return false;
        for (size_t offset = 0; offset + length <= size; ++offset) {
            if (std::memcmp(data + offset, pattern, length) == 0) return true;
        }
        return false;
    }

    uint8_t* firmwareTable(DWORD provider, DWORD id, DWORD& size) {
        HMODULE kernel32 = PLAIN(LoadLibraryA)("Kernel32.dll");
        using GetTableFn = UINT(WINAPI*)(DWORD, DWORD, PVOID, DWORD);
        auto getTable = kernel32
                            ? reinterpret_cast<GetTableFn>(PLAIN(GetProcAddress)(kernel32, "GetSystemFirmwareTable"))
                            : nullptr;
        uint8_t* buffer = getTable ? static_cast<uint8_t*>(std::calloc(4096, 1)) : nullptr;
        if (buffer) {
            const UINT length = getTable(provider, id, buffer, 4096);
            if (length == 0) {
                std::free(buffer);
                buffer = nullptr;
            } else {
                if (length > 4096) {
                    auto* grown = static_cast<uint8_t*>(std::realloc(buffer, length));
                    if (!grown) std::free(buffer);
                    buffer = grown;
                    if (buffer) {
                        std::memset(buffer, 0, length);
                        if (getTable(provider, id, buffer, length) == 0) {
                            std::free(buffer);
                            buffer = nullptr;
                        }
                    }
                }
                size = length;
            }
        }
        if (kernel32) PLAIN(FreeLibrary)(kernel32);
        return buffer;
    }

    bool smbiosHas(std::initializer_list<const char*> patterns) {
        DWORD size = 0;
        uint8_t* table = firmwareTable(kRawSmbios, 0, size);
        if (!table) return false;
        bool found = false;
        for (const char* pattern : patterns) {
            if (hasBytes(table, size, pattern)) {
                found = true;
                break;
            }
        }
        std::free(table);
        return found;
    }

    bool acpiHas(std::initializer_list<const char*> patterns) {
        auto* ids = static_cast<DWORD*>(std::calloc(4096, 1));
        if (!ids) return false;
        HMODULE kernel32 = PLAIN(LoadLibraryA)("Kernel32.dll");
        using EnumTablesFn = UINT(WINAPI*)(DWORD, PVOID, DWORD);
        auto enumTables = kernel32 ? reinterpret_cast<EnumTablesFn>(
                                         PLAIN(GetProcAddress)(kernel32, "EnumSystemFirmwareTables"))
                                   : nullptr;
        const int bytes = enumTables ? static_cast<int>(enumTables(kAcpi, ids, 4096)) : -1;
        if (kernel32) PLAIN(FreeLibrary)(kernel32);

        bool found = bytes != -1 && bytes < 4;  // an empty enumeration is a sign
        if (bytes >= 4) {
            const size_t count = (static_cast<size_t>(bytes) < 4096 ? static_cast<size_t>(bytes) : 4096) / 4;
            for (size_t i = 0; i < count && !found; ++i) {
                DWORD size = 0;
                uint8_t* table = firmwareTable(kAcpi, ids[i], size);
                if (!table) continue;
                for (const char* pattern : patterns) {
                    if (hasBytes(table, size, pattern)) {
                        found = true;
                        break;
                    }
                }
                std::free(table);
            }
        }
        std::free(ids);
        return found;
    }

    // The attributes of what the path names, links followed; INVALID_FILE_ATTRIBUTES when unreadable.
    static DWORD followedAttributes(const wchar_t* path) {
        HANDLE handle = PLAIN(CreateFileW)(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
        BY_HANDLE_FILE_INFORMATION information{};
        const BOOL read = PLAIN(GetFileInformationByHandle)(handle, &information);
        PLAIN(CloseHandle)(handle);
        return read ? information.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
    }

    bool isFile(const wchar_t* path) {
        const DWORD attributes = followedAttributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    bool anyFileUnderWindows(std::initializer_list<const wchar_t*> relativePaths) {
        wchar_t windows[MAX_PATH] = {};
        const UINT length = PLAIN(GetWindowsDirectoryW)(windows, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return false;
        PVOID redirection = nullptr;
        if (isWow64()) PLAIN(Wow64DisableWow64FsRedirection)(&redirection);
        bool found = false;
        for (const wchar_t* relative : relativePaths) {
            wchar_t path[MAX_PATH] = {};
            if (PLAIN(PathCombineW)(path, windows, relative) && path[0] && isFile(path)) {
                found = true;
                break;
            }
        }
        if (isWow64()) PLAIN(Wow64RevertWow64FsRedirection)(redirection);
        return found;
    }

    bool programFilesFolderExists(const wchar_t* relative) {
        wchar_t folder[MAX_PATH] = {};
        if (isWow64()) {
            const DWORD length = PLAIN(ExpandEnvironmentStringsW)(L"%ProgramW6432%", folder, MAX_PATH);
            if (length == 0 || length > MAX_PATH || folder[0] == L'%') return false;
        } else if (!PLAIN(SHGetSpecialFolderPathW)(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) {
            return false;
        }
        if (folder[0] == L'\0') return false;
        wchar_t path[MAX_PATH] = {};
        if (!PLAIN(PathCombineW)(path, folder, relative) || path[0] == L'\0') return false;
        const DWORD attributes = followedAttributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    bool anyDevice(std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* name : names) {
            HANDLE handle = PLAIN(CreateFileW)(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE) {
                PLAIN(CloseHandle)(handle);
                return true;
            }
        }
        return false;
    }

    // ------------------------------------------------------------ general

    bool diskDriveNamesVirtualDevice() {
        static const GUID diskDrives = {0x4d36e967, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
        HDEVINFO devices = PLAIN(SetupDiGetClassDevsW)(&diskDrives, nullptr, nullptr, DIGCF_PRESENT);
        if (devices == INVALID_HANDLE_VALUE) return false;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        HLOCAL buffer = nullptr;
        bool matched = false;
        for (DWORD index = 0; !matched && PLAIN(SetupDiEnumDeviceInfo)(devices, index, &device); ++index) {
            DWORD bufferSize = 0;
            DWORD required = 0;
            while (!PLAIN(SetupDiGetDeviceRegistryPropertyW)(devices, &device, SPDRP_HARDWAREID, nullptr,
                                                             static_cast<PBYTE>(buffer), bufferSize, &required)) {
                if (PLAIN(GetLastError)() != ERROR_INSUFFICIENT_BUFFER) break;
                if (buffer) PLAIN(LocalFree)(buffer);
                buffer = PLAIN(LocalAlloc)(LPTR, static_cast<SIZE_T>(required) * 2);
                if (!buffer) break;
                bufferSize = required;
            }
            if (!buffer) continue;
            matched = containsAnyIgnoringCase(static_cast<const wchar_t*>(buffer),
                                              {L"vbox", L"vmware", L"qemu", L"virtual"});
        }
        if (buffer) PLAIN(LocalFree)(buffer);
        PLAIN(SetupDiDestroyDeviceInfoList)(devices);
        const DWORD lastError = PLAIN(GetLastError)();
        return matched && (lastError == ERROR_SUCCESS || lastError == ERROR_NO_MORE_ITEMS);
    }

    bool smallMemory() {
        MEMORYSTATUSEX memory{};
        memory.dwLength = sizeof memory;
        PLAIN(GlobalMemoryStatusEx)(&memory);
        return memory.ullTotalPhys < 0x40000000;
    }

    bool noSleepStates() {
        SYSTEM_POWER_CAPABILITIES power{};
        if (PLAIN(GetPwrCapabilities)(&power) != TRUE) return false;
        return !(power.SystemS1 || power.SystemS2 || power.SystemS3 || power.SystemS4 || power.ThermalControl);
    }

    bool generalSigns() {
        if (diskDriveNamesVirtualDevice()) return true;
        if (smallMemory()) return true;
        if (firstRowValue(L"SELECT SerialNumber FROM Win32_BIOS", L"SerialNumber", [](const VARIANT& v) {
                const wchar_t* text = v.vt == VT_BSTR ? v.bstrVal : nullptr;
                if (!text) return false;
                if (text[0] == L'0' && text[1] == L'\0') return true;
                return containsAnyIgnoringCase(text, {L"VMWare", L"Xen", L"Virtual", L"A M I"});
            }))
            return true;
        if (firstRowValue(L"SELECT Model FROM Win32_ComputerSystem", L"Model", [](const VARIANT& v) {
                return containsAnyIgnoringCase(v.vt == VT_BSTR ? v.bstrVal : nullptr,
                                               {L"VirtualBox", L"HVM domU", L"VMWare"});
            }))
            return true;
        if (firstRowValue(L"SELECT Manufacturer FROM Win32_ComputerSystem", L"Manufacturer", [](const VARIANT& v) {
                return containsAnyIgnoringCase(v.vt == VT_BSTR ? v.bstrVal : nullptr,
                                               {L"VMWare", L"Xen", L"innotek GmbH", L"QEMU"});
            }))
            return true;
        if (firstRowValue(L"SELECT ProcessorId FROM Win32_Processor", L"ProcessorId",
                          [](const VARIANT& v) { return v.llVal == 0; }))
            return true;
        if (noSleepStates()) return true;
        if (firstRowValue(L"SELECT Caption FROM Win32_VideoController", L"Caption", [](const VARIANT& v) {
                return containsAnyIgnoringCase(v.vt == VT_BSTR ? v.bstrVal : nullptr, {L"Hyper-V", L"VMWare"});
            }))
            return true;
        for (const wchar_t* emptyClassQuery :
             {L"SELECT * FROM Win32_CacheMemory", L"SELECT * FROM Win32_PhysicalMemory",
              L"SELECT * FROM Win32_SMBIOSMemory", L"SELECT * FROM CIM_Memory", L"SELECT * FROM CIM_PhysicalConnector",
              L"SELECT * FROM CIM_Slot"}) {
            if (countRows(emptyClassQuery) == 0) return true;
        }
        return false;
    }

    // --------------------------------------------------------- VirtualBox

    bool virtualBoxWmiMac() {
        IEnumWbemClassObject* rows = query(L"SELECT MACAddress FROM Win32_NetworkAdapterConfiguration");
        if (!rows) return false;
        IWbemClassObject* first = nullptr;
        ULONG returned = 0;
        bool found = false;
        // The first row is taken and not matched.
        if (SUCCEEDED(rows->Next(WBEM_INFINITE, 1, &first, &returned))) {
            for (;;) {
                IWbemClassObject* row = nullptr;
                returned = 0;
                rows->Next(WBEM_INFINITE, 1, &row, &returned);
                if (returned == 0) {
                    if (row) row->Release();
                    break;
                }
                VARIANT value{};
                if (FAILED(row->Get(L"MACAddress", 0, &value, nullptr, nullptr))) {
                    row->Release();
                    break;
                }
                found = contains(textOf(value), L"08:00:27");
                if (value.vt != VT_NULL) PLAIN(VariantClear)(&value);
                row->Release();
                if (found) break;
            }
        }
        rows->Release();
        if (first) first->Release();
        return found;
    }

    // A row of the System event log whose sources name a VirtualBox display driver.
    bool systemLogNamesVirtualBoxDriver(IWbemClassObject* row, const VARIANT& logfileName, HRESULT& status) {
        const wchar_t* name = textOf(logfileName);
        if (!name || PLAIN(StrCmpIW)(name, L"System") != 0) return false;
        VARIANT sources;
        sources.vt = VT_EMPTY;
        status = row->Get(L"Sources", 0, &sources, nullptr, nullptr);
        if (FAILED(status)) return false;
        bool found = false;
        void* elements = nullptr;
        if (sources.vt == (VT_ARRAY | VT_BSTR) && SUCCEEDED(PLAIN(SafeArrayAccessData)(sources.parray, &elements))) {
            LONG lower = 0;
            LONG upper = -1;
            if (SUCCEEDED(PLAIN(SafeArrayGetLBound)(sources.parray, 1, &lower)) &&
                SUCCEEDED(PLAIN(SafeArrayGetUBound)(sources.parray, 1, &upper))) {
                for (LONG index = lower; index <= upper && !found; ++index) {
                    BSTR source = nullptr;
                    if (FAILED(PLAIN(SafeArrayGetElement)(sources.parray, &index, &source))) continue;
                    const wchar_t* text = source ? source : L"";
                    found = _wcsicmp(text, L"vboxvideo") == 0 || _wcsicmp(text, L"VBoxVideoW8") == 0 ||
                            _wcsicmp(text, L"VBoxWddm") == 0;
                    PLAIN(SysFreeString)(source);
                }
            }
            PLAIN(SafeArrayUnaccessData)(sources.parray);
        }
        PLAIN(VariantClear)(&sources);
        return found;
    }

    bool virtualBoxDeviceId(IWbemClassObject*, const VARIANT& deviceId, HRESULT&) {
        return deviceId.vt == VT_BSTR && contains(textOf(deviceId), L"PCI\\VEN_80EE&DEV_CAFE");
    }

    // Every row's property to the matcher: the first row, then the others.
    template <typename Matcher>
    bool anyRowMatches(const wchar_t* text, const wchar_t* property, Matcher matches) {
        IEnumWbemClassObject* rows = query(text);
        if (!rows) return false;
        IWbemClassObject* first = nullptr;
        ULONG returned = 0;
        HRESULT status = rows->Next(WBEM_INFINITE, 1, &first, &returned);
        bool found = false;
        if (SUCCEEDED(status) && returned != 0) {
            VARIANT value{};
            status = first->Get(property, 0, &value, nullptr, nullptr);
            if (SUCCEEDED(status)) {
                HRESULT firstRowStatus = S_OK;  // a failed read inside the matcher does not end the walk
                found = (this->*matches)(first, value, firstRowStatus);
                PLAIN(VariantClear)(&value);
            }
        }
        if (SUCCEEDED(status) && !found) {
            for (;;) {
                IWbemClassObject* row = nullptr;
                returned = 0;
                rows->Next(WBEM_INFINITE, 1, &row, &returned);
                if (returned == 0) {
                    if (row) row->Release();
                    break;
                }
                VARIANT value{};
                status = row->Get(property, 0, &value, nullptr, nullptr);
                if (FAILED(status)) {
                    row->Release();
                    break;
                }
                found = (this->*matches)(row, value, status);
                if (value.vt != VT_NULL) PLAIN(VariantClear)(&value);
                row->Release();
                if (found) break;
            }
        }
        rows->Release();
        if (first) first->Release();
        return found;
    }

    bool virtualBoxChipsetEntities() {
        IEnumWbemClassObject* rows = query(L"SELECT Name FROM Win32_PnPEntity");
        if (!rows) return false;
        IWbemClassObject* first = nullptr;
        ULONG returned = 0;
        int matching = 0;
        if (SUCCEEDED(rows->Next(WBEM_INFINITE, 1, &first, &returned))) {
            for (;;) {
                IWbemClassObject* row = nullptr;
                returned = 0;
                rows->Next(WBEM_INFINITE, 1, &row, &returned);
                if (returned == 0) {
                    if (row) row->Release();
                    break;
                }
                VARIANT value{};
                if (FAILED(row->Get(L"Name", 0, &value, nullptr, nullptr))) {
                    row->Release();
                    break;
                }
                const wchar_t* text = textOf(value);
                if (contains(text, L"82801FB") || contains(text, L"82441FX") || contains(text, L"82371SB") ||
                    contains(text, L"OpenHCD"))
                    ++matching;
                if (value.vt != VT_NULL) PLAIN(VariantClear)(&value);
                row->Release();
            }
        }
        rows->Release();
        if (first) first->Release();
        return matching >= 3;
    }

    // A property of a row read for a test; the test sees null unless it is text.
    bool rowPropertyContains(IWbemClassObject* row, const wchar_t* property, const wchar_t* part) {
        VARIANT value;
        value.vt = VT_EMPTY;
        if (FAILED(row->Get(property, 0, &value, nullptr, nullptr))) return false;
        const bool found = contains(textOf(value), part);
        PLAIN(VariantClear)(&value);
        return found;
    }

    template <typename RowTest>
    bool anyRow(const wchar_t* text, RowTest test) {
        IEnumWbemClassObject* rows = query(text);
        if (!rows) return false;
        bool found = false;
        for (;;) {
            IWbemClassObject* row = nullptr;
            ULONG returned = 0;
            rows->Next(WBEM_INFINITE, 1, &row, &returned);
            if (returned == 0) {
                if (row) row->Release();
                break;
            }
            found = test(row);
            row->Release();
            if (found) break;
        }
        rows->Release();
        return found;
    }

    bool virtualBoxBuses() {
        int rowCount = 0;
        int named = 0;
        anyRow(L"SELECT * FROM Win32_Bus", [&](IWbemClassObject* row) {
            ++rowCount;
            VARIANT value;
            value.vt = VT_EMPTY;
            if (SUCCEEDED(row->Get(L"Name", 0, &value, nullptr, nullptr))) {
                const wchar_t* text = textOf(value);
                if (contains(text, L"ACPIBus_BUS_0") || contains(text, L"PCI_BUS_0") || contains(text, L"PNP_BUS_0"))
                    ++named;
                PLAIN(VariantClear)(&value);
            }
            return false;
        });
        return rowCount == 3 && named == 3;
    }

    bool virtualBox() {
        if (anyProcess({L"vboxservice.exe", L"vboxtray.exe"})) return true;
        if (macPrefix(0x08, 0x00, 0x27)) return true;
        if (virtualBoxWmiMac()) return true;
        for (const wchar_t* key :
             {L"HARDWARE\\ACPI\\DSDT\\VBOX__", L"HARDWARE\\ACPI\\FADT\\VBOX__", L"HARDWARE\\ACPI\\RSDT\\VBOX__",
              L"SOFTWARE\\Oracle\\VirtualBox Guest Additions", L"SYSTEM\\ControlSet001\\Services\\VBoxGuest",
              L"SYSTEM\\ControlSet001\\Services\\VBoxMouse", L"SYSTEM\\ControlSet001\\Services\\VBoxService",
              L"SYSTEM\\ControlSet001\\Services\\VBoxSF", L"SYSTEM\\ControlSet001\\Services\\VBoxVideo"}) {
            if (keyExists(HKEY_LOCAL_MACHINE, key)) return true;
        }
        if (valueContains(L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
                          L"Identifier", L"VBOX") ||
            valueContains(L"HARDWARE\\Description\\System", L"SystemBiosVersion", L"VBOX") ||
            valueContains(L"HARDWARE\\Description\\System", L"VideoBiosVersion", L"VIRTUALBOX") ||
            valueContains(L"HARDWARE\\Description\\System", L"SystemBiosDate", L"06/23/99"))
            return true;
        if (smbiosHas({"VirtualBox", "vbox", "VBOX"})) return true;
        if (acpiHas({"VirtualBox", "vbox", "VBOX"})) return true;
        if (anyFileUnderWindows({L"System32\\drivers\\VBoxMouse.sys", L"System32\\drivers\\VBoxGuest.sys",
                                 L"System32\\drivers\\VBoxSF.sys", L"System32\\drivers\\VBoxVideo.sys",
                                 L"System32\\vboxdisp.dll", L"System32\\vboxhook.dll", L"System32\\vboxmrxnp.dll",
                                 L"System32\\vboxogl.dll", L"System32\\vboxoglarrayspu.dll",
                                 L"System32\\vboxoglcrutil.dll", L"System32\\vboxoglerrorspu.dll",
                                 L"System32\\vboxoglfeedbackspu.dll", L"System32\\vboxoglpackspu.dll",
                                 L"System32\\vboxoglpassthroughspu.dll", L"System32\\vboxservice.exe",
                                 L"System32\\vboxtray.exe", L"System32\\VBoxControl.exe"}))
            return true;
        if (programFilesFolderExists(L"oracle\\virtualbox guest additions\\")) return true;
        if (anyDevice({L"\\\\.\\VBoxMiniRdrDN", L"\\\\.\\VBoxGuest", L"\\\\.\\pipe\\VBoxMiniRdDN",
                       L"\\\\.\\VBoxTrayIPC", L"\\\\.\\pipe\\VBoxTrayIPC"}))
            return true;
        const HWND byClass = PLAIN(FindWindowW)(L"VBoxTrayToolWndClass", nullptr);
        const HWND byTitle = PLAIN(FindWindowW)(nullptr, L"VBoxTrayToolWnd");
        if (byClass || byTitle) return true;
        wchar_t provider[260] = {};
        DWORD size = 260;
        if (PLAIN(WNetGetProviderNameW)(WNNC_NET_RDR2SAMPLE, provider, &size) == NO_ERROR &&
            PLAIN(StrCmpIW)(provider, L"VirtualBox Shared Folders") == 0)
            return true;
        if (anyRowMatches(L"SELECT LogfileName, Sources FROM Win32_NTEventlogFile WHERE LogfileName = 'System'",
                          L"LogfileName", &PlainChecks::systemLogNamesVirtualBoxDriver))
            return true;
        if (virtualBoxChipsetEntities()) return true;
        if (anyRowMatches(L"SELECT DeviceID FROM Win32_PnPEntity", L"DeviceID", &PlainChecks::virtualBoxDeviceId))
            return true;
        if (virtualBoxBuses()) return true;
        if (anyRow(L"SELECT * FROM Win32_BaseBoard", [&](IWbemClassObject* row) {
                return rowPropertyContains(row, L"Product", L"VirtualBox") ||
                       rowPropertyContains(row, L"Manufacturer", L"Oracle Corporation");
            }))
            return true;
        return anyRow(L"SELECT * FROM Win32_PnPDevice", [&](IWbemClassObject* row) {
            return rowPropertyContains(row, L"Name", L"VBOX") || rowPropertyContains(row, L"Caption", L"VBOX") ||
                   rowPropertyContains(row, L"PNPDeviceID", L"VEN_VBOX");
        });
    }

    // ------------------------------------------------------------- others

    bool vmwareAdapterDescription() {
        bool valid = false;
        IP_ADAPTER_INFO* list = adapterList(valid);
        bool found = false;
        if (list && valid) {
            for (const IP_ADAPTER_INFO* adapter = list; adapter && !found; adapter = adapter->Next) {
                const size_t length = strnlen(adapter->Description, sizeof adapter->Description);
                if (length == 0) continue;
                wchar_t wide[sizeof adapter->Description + 1] = {};
                const int converted = PLAIN(MultiByteToWideChar)(CP_THREAD_ACP, 0, adapter->Description,
                                                                 static_cast<int>(length), wide,
                                                                 static_cast<int>(length));
                found = converted == 6 && std::wcsncmp(wide, L"VMWare", 6) == 0;
            }
        }
        freeAdapterList(list);
        return found;
    }

    bool vmware() {
        if (vmwareAdapterDescription()) return true;
        if (anyProcess({L"vmtoolsd.exe", L"vmwaretray.exe", L"vmwareuser.exe", L"VGAuthService.exe", L"vmacthlp.exe"}))
            return true;
        if (macPrefix(0x00, 0x05, 0x69) || macPrefix(0x00, 0x0C, 0x29) || macPrefix(0x00, 0x1C, 0x14) ||
            macPrefix(0x00, 0x50, 0x56))
            return true;
        if (keyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VMware, Inc.\\VMware Tools")) return true;
        if (valueContains(L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
                          L"Identifier", L"VMWARE") ||
            valueContains(L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
                          L"Identifier", L"VMWARE") ||
            valueContains(L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 2\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
                          L"Identifier", L"VMWARE") ||
            valueContains(L"SYSTEM\\ControlSet001\\Control\\SystemInformation", L"SystemManufacturer", L"VMWARE") ||
            valueContains(L"SYSTEM\\ControlSet001\\Control\\SystemInformation", L"SystemProductName", L"VMWARE"))
            return true;
        if (smbiosHas({"VMware"})) return true;
        if (acpiHas({"VMWARE"})) return true;
        if (anyFileUnderWindows({L"System32\\drivers\\vmnet.sys", L"System32\\drivers\\vmmouse.sys",
                                 L"System32\\drivers\\vmusb.sys", L"System32\\drivers\\vm3dmp.sys",
                                 L"System32\\drivers\\vmci.sys", L"System32\\drivers\\vmhgfs.sys",
                                 L"System32\\drivers\\vmmemctl.sys", L"System32\\drivers\\vmx86.sys",
                                 L"System32\\drivers\\vmrawdsk.sys", L"System32\\drivers\\vmusbmouse.sys",
                                 L"System32\\drivers\\vmkdb.sys", L"System32\\drivers\\vmnetuserif.sys",
                                 L"System32\\drivers\\vmnetadapter.sys"}))
            return true;
        if (programFilesFolderExists(L"VMWare\\")) return true;
        return anyDevice({L"\\\\.\\HGFS", L"\\\\.\\vmci"});
    }

    bool parallels() { return anyProcess({L"prl_cc.exe", L"prl_tools.exe"}) || macPrefix(0x00, 0x1C, 0x42); }

    bool qemu() {
        return anyProcess({L"qemu-ga.exe"}) ||
               valueContains(L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
                             L"Identifier", L"QEMU") ||
               valueContains(L"HARDWARE\\Description\\System", L"SystemBiosVersion", L"QEMU") ||
               smbiosHas({"qemu", "QEMU"}) || acpiHas({"BOCH", "BXPC"});
    }

    bool virtualPc() {
        return anyProcess({L"VMSrvc.exe", L"VMUSrvc.exe"}) ||
               keyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Virtual Machine\\Guest\\Parameters");
    }

    bool wine() {
        HMODULE kernel32 = PLAIN(GetModuleHandleW)(L"kernel32.dll");
        if (kernel32 && PLAIN(GetProcAddress)(kernel32, "wine_get_unix_file_name")) return true;
        return keyExists(HKEY_CURRENT_USER, L"SOFTWARE\\Wine");
    }

    bool xen() { return anyProcess({L"xenservice.exe"}) || macPrefix(0x00, 0x16, 0x3E); }
};

PlainDetection::~PlainDetection() { disconnect(); }

void PlainDetection::connect() {
    connectAttempted_ = true;
    HRESULT hr = PLAIN(CoInitializeEx)(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (hr == RPC_E_CHANGED_MODE) hr = PLAIN(CoInitializeEx)(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(hr)) return;
    comHeld_ = true;
    hr = PLAIN(CoInitializeSecurity)(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                     RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(hr) && hr != RPC_E_TOO_LATE) {
        disconnect();
        return;
    }
    hr = PLAIN(CoCreateInstance)(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                 reinterpret_cast<void**>(&locator_));
    if (FAILED(hr)) {
        disconnect();
        return;
    }
    BSTR wmiNamespace = PLAIN(SysAllocString)(L"ROOT\\CIMV2");
    BSTR locale = PLAIN(SysAllocString)(L"MS_409");
    hr = locator_->ConnectServer(wmiNamespace, nullptr, nullptr, locale, WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr,
                                 nullptr, &services_);
    if (FAILED(hr)) disconnect();
    PLAIN(SysFreeString)(locale);
    PLAIN(SysFreeString)(wmiNamespace);
    if (FAILED(hr)) return;
    hr = PLAIN(CoSetProxyBlanket)(services_, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) disconnect();
}

void PlainDetection::disconnect() {
    if (services_) services_->Release();
    services_ = nullptr;
    if (locator_) locator_->Release();
    locator_ = nullptr;
    if (comHeld_) PLAIN(CoUninitialize)();
    comHeld_ = false;
}

PlainVerdict PlainDetection::detect() {
    if (!connectAttempted_) connect();
    PlainChecks checks{*this};
    if (!checks.generalSigns()) return {1, ""};
    if (checks.virtualBox()) return {4, "VirtualBox"};
    if (checks.vmware()) return {6, "VMWare"};
    if (checks.parallels()) return {2, "Parallels"};
    if (checks.qemu()) return {3, "Qemu"};
    if (checks.virtualPc()) return {5, "Hyper-V"};
    if (checks.wine()) return {7, "Wine"};
    if (checks.xen()) return {8, "Xen"};
    return {1, ""};
}

}  // namespace corvane_bench
