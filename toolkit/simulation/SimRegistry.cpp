// The registry: keys of the profile under HKLM and HKCU, matched without
// regard to case; every parent of a listed key exists as well.
#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {
namespace {

bool isPrefixKey(std::wstring_view parent, std::wstring_view child) {
    return child.size() > parent.size() && child[parent.size()] == L'\\' &&
           equalsIgnoreCase(child.substr(0, parent.size()), parent);
}

std::wstring trimSeparators(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring joinKey(const std::wstring& parent, const std::wstring& child) {
    if (parent.empty()) return child;
    if (child.empty()) return parent;
    return parent + L"\\" + child;
}

// GCC 12 takes "literal" + std::string&& for an overlapping memcpy (GCC bug 105651).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
std::string keyName(const std::wstring& root, const std::wstring& path) {
    return toUtf8(root) + (path.empty() ? "" : "\\" + toUtf8(path));
}
#pragma GCC diagnostic pop

const profile::RegistryKey* findKey(const MachineState& m, const std::wstring& root, const std::wstring& path) {
    for (const auto& key : m.profile.registry)
        if (equalsIgnoreCase(key.root, root) && equalsIgnoreCase(trimSeparators(key.path), path)) return &key;
    return nullptr;
}

bool keyExists(const MachineState& m, const std::wstring& root, const std::wstring& path) {
    if (path.empty()) return true;
    if (findKey(m, root, path)) return true;
    for (const auto& key : m.profile.registry)
        if (equalsIgnoreCase(key.root, root) && isPrefixKey(path, key.path)) return true;
    return false;
}

// The root and path a handle stands for; false for a handle the machine does not know.
bool resolveHandle(MachineState& m, HKEY handle, std::wstring& root, std::wstring& path) {
    if (handle == HKEY_LOCAL_MACHINE) {
        root = L"HKLM";
        path.clear();
        return true;
    }
    if (handle == HKEY_CURRENT_USER) {
        root = L"HKCU";
        path.clear();
        return true;
    }
    if (auto* entry = m.findHandle(reinterpret_cast<uintptr_t>(handle), HandleKind::RegistryKey)) {
        root = entry->registryRoot;
        path = entry->registryPath;
        return true;
    }
    return false;
}

std::string describeHandle(MachineState& m, HKEY handle) {
    std::wstring root, path;
    if (resolveHandle(m, handle, root, path)) return keyName(root, path);
    char text[32];
    std::snprintf(text, sizeof text, "<HKEY %p>", static_cast<void*>(handle));
    return text;
}

}  // namespace

LSTATUS WINAPI simRegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    auto& m = boundState();
    std::lock_guard lock(m.mutex);
    std::wstring root, base;
    bool known = resolveHandle(m, parent, root, base);
    std::wstring path = joinKey(base, trimSeparators(subKey ? subKey : L""));
    m.record("RegOpenKeyExW", known ? keyName(root, path) : describeHandle(m, parent) + "\\" + narrowArgument(subKey));
    m.recordFlags("options=" + std::to_string(options) + " access=" + hexArgument(access));

    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!known) return ERROR_INVALID_HANDLE;
    if (!keyExists(m, root, path)) return ERROR_FILE_NOT_FOUND;
    if (const auto* key = findKey(m, root, path); key && key->accessDenied) return ERROR_ACCESS_DENIED;

    HandleEntry entry{HandleKind::RegistryKey, "registry key " + keyName(root, path)};
    entry.registryRoot = root;
    entry.registryPath = path;
    *result = reinterpret_cast<HKEY>(m.addHandle(std::move(entry)));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI simRegQueryValueExW(HKEY handle, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                   LPDWORD size) {
    auto& m = boundState();
    std::lock_guard lock(m.mutex);
    std::wstring name = valueName ? valueName : L"";
    m.record("RegQueryValueExW", describeHandle(m, handle) + " [" + toUtf8(name) + "]");

    auto* entry = m.findHandle(reinterpret_cast<uintptr_t>(handle), HandleKind::RegistryKey);
    std::wstring root, path;
    if (!entry && !resolveHandle(m, handle, root, path)) return ERROR_INVALID_HANDLE;
    if (entry) {
        root = entry->registryRoot;
        path = entry->registryPath;
    }
    if (data && !size) return ERROR_INVALID_PARAMETER;

    const auto* key = findKey(m, root, path);
    const profile::RegistryValue* value = nullptr;
    if (key)
        for (const auto& candidate : key->values)
            if (equalsIgnoreCase(candidate.name, name)) value = &candidate;
    if (!value) return ERROR_FILE_NOT_FOUND;

    const auto needed = static_cast<DWORD>(value->data.size());
    if (type) *type = value->type;
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::copy(value->data.begin(), value->data.end(), data);
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI simRegCloseKey(HKEY handle) {
    auto& m = boundState();
    std::lock_guard lock(m.mutex);
    m.record("RegCloseKey", describeHandle(m, handle));
    if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;  // predefined keys close quietly
    if (!m.findHandle(reinterpret_cast<uintptr_t>(handle), HandleKind::RegistryKey)) {
        m.noteInvalidRelease("RegCloseKey of a key that is not open: " + describeHandle(m, handle));
        return ERROR_INVALID_HANDLE;
    }
    m.handles.erase(reinterpret_cast<uintptr_t>(handle));
    return ERROR_SUCCESS;
}

}  // namespace Corvane::simulated::detail
