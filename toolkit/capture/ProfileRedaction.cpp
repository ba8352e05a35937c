// Redacting a whole machine profile.

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <set>

#include "toolkit/capture/Redaction.h"
#include "toolkit/profile/ProfileText.h"

namespace Corvane::capture {
namespace {

using profile::MachineProfile;
using profile::WmiValue;

// Lower case by Unicode's rules, not only ASCII's: names may be "ÅSA-PC".
std::wstring lowerCase(std::wstring_view text) {
    std::wstring lower(text);
    if (!lower.empty()) {
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, text.data(), static_cast<int>(text.size()), lower.data(),
                      static_cast<int>(lower.size()), nullptr, nullptr, 0);
    }
    return lower;
}

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                           nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

// WMI properties whose whole value identifies the machine, its owner or its network.
const std::set<std::wstring>& identifyingProperties() {
    static const std::set<std::wstring> names = {
        L"serialnumber",
        L"identifyingnumber",
        L"uuid",
        L"smbiosassettag",
        L"assettag",
        L"username",
        L"primaryownername",
        L"primaryownercontact",
        L"registereduser",
        L"organization",
        L"dnshostname",
        L"domain",
        L"workgroup",
        L"dnsdomain",
        L"dnsdomainsuffixsearchorder",
        L"ipaddress",
        L"ipsubnet",
        L"defaultipgateway",
        L"dhcpserver",
        L"dnsserversearchorder",
        L"winsprimaryserver",
        L"winssecondaryserver",
        L"settingid",
        L"guid",
        L"networkaddresses",
        L"permanentaddress",
    };
    return names;
}

// Properties holding a device instance path, whose instance part may carry a
// serial number (USB storage, Bluetooth addresses).
const std::set<std::wstring>& instancePathProperties() {
    static const std::set<std::wstring> names = {L"deviceid",      L"pnpdeviceid", L"sameelement",
                                                 L"systemelement", L"antecedent",  L"dependent"};
    return names;
}

// "USB\VID_1&PID_2\SERIAL" -> the part after the second separator redacted;
// object paths ('...DeviceID="USB\\VID_1&PID_2\\SERIAL"') alike.
std::wstring redactInstancePath(const std::wstring& text) {
    size_t begin = 0;
    size_t end = text.size();
    const size_t quote = text.find(L'"');
    if (quote != std::wstring::npos) {
        begin = quote + 1;
        const size_t closing = text.find(L'"', begin);
        end = closing == std::wstring::npos ? text.size() : closing;
    }
    int separators = 0;
    size_t at = begin;
    while (at < end && separators < 2) {
        if (text[at] == L'\\') {
            ++separators;
            while (at < end && text[at] == L'\\') ++at;
        } else {
            ++at;
        }
    }
    if (separators < 2) return text;
    // A device the system enumerates itself ("ROOT\\WINE\\WINEBUS",
    // "ROOT\\LEGACY_BEEP\\0000") is numbered or named by Windows, not by a serial.
    if (profile::equalsIgnoreCase(std::wstring_view(text).substr(begin, std::min<size_t>(5, end - begin)), L"root\\"))
        return text;
    return text.substr(0, at) + redactText(std::wstring_view(text).substr(at, end - at)) + text.substr(end);
}

// Letters and digits make up a word; so do the marks that combine with them.
bool isWordCharacter(wchar_t c) {
    if (c == L'_' || (c >= 0x0300 && c <= 0x036F)) return true;
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &c, 1, &type) && (type & (C1_ALPHA | C1_DIGIT));
}

// Windows' own words for a bus or a WMI namespace root.  A user called "root"
// is no reason to touch "ROOT\WINE\WINEBUS" or "\\HOST\root\cimv2".
const std::set<std::wstring>& busWords() {
    static const std::set<std::wstring> words = {
        L"acpi",    L"acpi_hal", L"bth",  L"bthenum", L"display", L"hdaudio", L"hid",     L"htree",
        L"ide",     L"monitor",  L"nvme", L"pci",     L"pciide",  L"root",    L"scsi",    L"sd",
        L"storage", L"sw",       L"swd",  L"uefi",    L"umb",     L"usb",     L"usbstor",
    };
    return words;
}

// Whether the word at [at, at + length) of `lower` stands where Windows writes
// a bus or namespace: the first component of a device or namespace path (also
// inside a quoted object path), a bus under a registry "Enum" key, the
// namespace after a UNC host; or is a drive letter.
bool isSystemWordAt(std::wstring_view lower, size_t at, size_t length) {
    const size_t end = at + length;
    if (length == 1 && end < lower.size() && lower[end] == L':') return true;
    if (end >= lower.size() || lower[end] != L'\\' || !busWords().count(std::wstring(lower.substr(at, length))))
        return false;
    if (at == 0 || lower[at - 1] == L'"') return true;
    const std::wstring_view before = lower.substr(0, at);
    if (before.ends_with(L"enum\\")) return true;
    // "\\HOST\root": two backslashes, one component, one backslash.
    if (const size_t unc = before.rfind(L"\\\\"); unc != std::wstring_view::npos) {
        return before.find(L'\\', unc + 2) == before.size() - 1;
    }
    return false;
}

// Names that identify the machine or its users wherever they appear: the
// computer, the user accounts and their domain.  A name is matched as a whole
// word or path component, in any case, however short; never inside a longer
// word ("vm" is not in "VMware"), never where Windows writes a bus or drive.
struct KnownNames {
    std::set<std::wstring> names;  // lower case

    void add(std::wstring_view name) {
        // Names every Windows machine has: they identify nobody.
        static const std::set<std::wstring> shared = {L"public",        L"default", L"all users", L"default user",
                                                      L"administrator", L"system",  L"localhost", L"workgroup"};
        std::wstring lower = lowerCase(name);
        while (!lower.empty() && std::iswspace(lower.back())) lower.pop_back();
        if (lower.empty() || shared.count(lower)) return;
        names.insert(lower);
    }

    // Users' folders: "\Users\NAME\" and "\Documents and Settings\NAME\".
    void addFromPath(std::wstring_view text) {
        const std::wstring lower = lowerCase(text);
        for (std::wstring_view folder :
             {std::wstring_view(L"\\users\\"), std::wstring_view(L"\\documents and settings\\")}) {
            for (size_t at = lower.find(folder); at != std::wstring::npos; at = lower.find(folder, at + 1)) {
                const size_t begin = at + folder.size();
                size_t end = begin;
                while (end < text.size() && text[end] != L'\\' && text[end] != L'"' && text[end] != L'\0') ++end;
                if (end > begin) add(text.substr(begin, end - begin));
            }
        }
    }

    // Every whole-word occurrence of a name redacted; the words checks look
    // for (a computer called "VBOX") stay, so that no verdict changes.
    std::wstring replaceIn(std::wstring text) const {
        if (names.empty()) return text;
        const std::wstring lower = lowerCase(text);
        std::vector<bool> redact(text.size(), false);
        for (const std::wstring& name : names) {
            for (size_t at = lower.find(name); at != std::wstring::npos; at = lower.find(name, at + 1)) {
                const size_t end = at + name.size();
                const bool wordStart = at == 0 || !isWordCharacter(lower[at - 1]);
                const bool wordEnd = end == lower.size() || !isWordCharacter(lower[end]);
                if (!wordStart || !wordEnd || isSystemWordAt(lower, at, name.size())) continue;
                for (size_t i = at; i < end; ++i) redact[i] = true;
            }
        }
        if (std::find(redact.begin(), redact.end(), true) == redact.end()) return text;
        const std::wstring redacted = redactText(text);
        for (size_t i = 0; i < text.size(); ++i) {
            if (redact[i]) text[i] = redacted[i];
        }
        return text;
    }
};

// Calls `visit` with every text of the profile.
template <typename Visit>
void forEachText(MachineProfile& profile, Visit visit) {
    visit(profile.system.windowsDirectory);
    visit(profile.system.programFiles);
    visit(profile.system.programW6432);
    for (auto& key : profile.registry) visit(key.path);
    for (auto& file : profile.files) visit(file.path);
    for (auto& device : profile.devices) visit(device.name);
    for (auto& process : profile.processes) visit(process.exeName);
    for (auto& window : profile.windows) {
        visit(window.className);
        visit(window.title);
    }
    for (auto& provider : profile.networkProviders) visit(provider.name);
    for (auto& drive : profile.diskDrives) {
        for (auto& id : drive.hardwareIds) visit(id);
    }
    for (auto& wmiClass : profile.wmi.classes) {
        for (auto& row : wmiClass.rows) {
            for (auto& [name, value] : row.properties) {
                visit(value.text);
                for (auto& text : value.strings) visit(text);
            }
        }
    }
}

bool isStringType(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

void replaceInRegistryValues(MachineProfile& profile, const KnownNames& known) {
    for (auto& key : profile.registry) {
        for (auto& value : key.values) {
            if (!isStringType(value.type) || value.data.size() < 2) continue;
            std::wstring text(value.data.size() / 2, L'\0');
            std::memcpy(text.data(), value.data.data(), text.size() * 2);
            const std::wstring replaced = known.replaceIn(text);
            std::memcpy(value.data.data(), replaced.data(), replaced.size() * 2);
        }
    }
}

void redactWmiValue(const std::wstring& property, WmiValue& value) {
    const std::wstring name = lowerCase(property);
    auto redact = [&](auto rule) {
        value.text = rule(value.text);
        for (auto& text : value.strings) text = rule(text);
    };
    if (name == L"macaddress") {
        redact([](const std::wstring& text) { return redactMacText(text); });
    } else if (identifyingProperties().count(name)) {
        redact([](const std::wstring& text) { return redactText(text); });
    } else if (instancePathProperties().count(name)) {
        redact([](const std::wstring& text) { return redactInstancePath(text); });
    }
}

KnownNames collectNames(MachineProfile& profile) {
    KnownNames known;
    for (auto& wmiClass : profile.wmi.classes) {
        const bool computerSystem = lowerCase(wmiClass.name) == L"win32_computersystem";
        for (auto& row : wmiClass.rows) {
            for (auto& [property, value] : row.properties) {
                const std::wstring name = lowerCase(property);
                if (computerSystem && (name == L"name" || name == L"dnshostname" || name == L"domain"))
                    known.add(value.text);
                if (name == L"username") {
                    // DOMAIN\user: both halves.
                    const size_t slash = value.text.find(L'\\');
                    known.add(value.text.substr(slash == std::wstring::npos ? 0 : slash + 1));
                    if (slash != std::wstring::npos) known.add(value.text.substr(0, slash));
                }
                if (name == L"csname" || name == L"systemname") known.add(value.text);
            }
        }
    }
    forEachText(profile, [&](std::wstring& text) { known.addFromPath(text); });

    // The computer a capture names in its source, also when WMI could not say it.
    const std::wstring source = widen(profile.source);
    const std::wstring_view marker = L"capture on ";
    if (const size_t at = source.find(marker); at != std::wstring::npos) {
        const size_t begin = at + marker.size();
        const size_t end = source.find(L' ', begin);
        known.add(source.substr(begin, end == std::wstring::npos ? std::wstring::npos : end - begin));
    }
    return known;
}

}  // namespace

void redactProfile(MachineProfile& profile) {
    // Names first, while they can still be read, then everything they appear in.
    const KnownNames known = collectNames(profile);
    forEachText(profile, [&](std::wstring& text) { text = known.replaceIn(text); });
    replaceInRegistryValues(profile, known);
    profile.description = narrow(known.replaceIn(widen(profile.description)));
    profile.source = narrow(known.replaceIn(widen(profile.source)));

    for (auto& wmiClass : profile.wmi.classes) {
        for (auto& row : wmiClass.rows) {
            for (auto& [property, value] : row.properties) redactWmiValue(property, value);
        }
    }

    for (auto& adapter : profile.adapters) {
        for (size_t i = 3; i < adapter.address.size(); ++i) adapter.address[i] = 0;
        adapter.adapterName = narrow(redactText(widen(adapter.adapterName)));
    }

    if (profile.firmware.rawSmbios) redactSmbiosTable(*profile.firmware.rawSmbios);

    if (profile.source.find("redacted") == std::string::npos) {
        profile.source += profile.source.empty() ? "redacted" : "; redacted";
    }
}

}  // namespace Corvane::capture
