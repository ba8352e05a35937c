#pragma once
// Helpers that describe machines in code, for tests and tools:
//
//     MachineProfile profile = physicalMachineWithoutSigns();
//     auto& key = addRegistryKey(profile, L"HKCU", L"SOFTWARE\\Wine");
//     addStringValue(key, L"Version", L"wine-9.0");
//     addProcess(profile, L"vboxservice.exe");
//     setWmiValue(profile, L"Win32_BIOS", L"SerialNumber", wmiText(L"0"));
//
// References returned by the add* functions point into the profile's vectors:
// they stay valid until the next element of the same kind is added.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/profile/MachineProfile.h"

namespace Corvane::profile {

// Registry.  `root` is L"HKLM" or L"HKCU"; an existing key of that path is returned.
RegistryKey& addRegistryKey(MachineProfile& profile, const std::wstring& root, const std::wstring& path);
RegistryKey* findRegistryKey(MachineProfile& profile, const std::wstring& root, const std::wstring& path);
// Values replace an existing value of the same name (names compare case-insensitively).
RegistryValue& addStringValue(RegistryKey& key, const std::wstring& name, const std::wstring& text,
                              uint32_t type = 1 /*REG_SZ*/);
RegistryValue& addMultiStringValue(RegistryKey& key, const std::wstring& name,
                                   const std::vector<std::wstring>& strings);
RegistryValue& addDwordValue(RegistryKey& key, const std::wstring& name, uint32_t value);
RegistryValue& addRawValue(RegistryKey& key, const std::wstring& name, uint32_t type, std::vector<uint8_t> bytes);
// UTF-16LE bytes of `text` with its terminating NUL, as RegQueryValueExW returns REG_SZ data.
std::vector<uint8_t> registryStringBytes(const std::wstring& text);
std::vector<uint8_t> registryMultiStringBytes(const std::vector<std::wstring>& strings);

// File system: full paths such as L"C:\\Windows\\System32\\drivers\\VBoxMouse.sys".
FileSystemEntry& addFile(MachineProfile& profile, const std::wstring& path);
FileSystemEntry& addDirectory(MachineProfile& profile, const std::wstring& path);
// A path whose status query fails with `error` (e.g. ERROR_ACCESS_DENIED 5).
FileSystemEntry& addPathError(MachineProfile& profile, const std::wstring& path, uint32_t error);
// A symbolic link to `target` (a full path, which need not exist).
FileSystemEntry& addLink(MachineProfile& profile, const std::wstring& path, const std::wstring& target);

DeviceName& addDevice(MachineProfile& profile, const std::wstring& name, uint32_t openError = 0);
// Pids are assigned: one above the highest in use, in steps of 4.
Process& addProcess(MachineProfile& profile, const std::wstring& exeName);
void removeProcess(MachineProfile& profile, const std::wstring& exeName);
NetworkAdapter& addAdapter(MachineProfile& profile, std::string_view macAddress, const std::string& description);
Window& addWindow(MachineProfile& profile, const std::wstring& className, const std::wstring& title);
NetworkProvider& addNetworkProvider(MachineProfile& profile, uint32_t netType, const std::wstring& name);
DiskDrive& addDiskDrive(MachineProfile& profile, std::vector<std::wstring> hardwareIds);

// Firmware.  `signature` is the table's 4-letter name, e.g. "DSDT".
FirmwareTable& addAcpiTable(MachineProfile& profile, std::string_view signature, std::vector<uint8_t> bytes);
void setSmbios(MachineProfile& profile, std::vector<uint8_t> rawSmbios);
// A synthetic ACPI table: the 36-byte header (signature, length, revision 2,
// checksum, OEM id, OEM table id, OEM revision 1, creator "INTL") and `body`.
std::vector<uint8_t> acpiTableBytes(std::string_view signature, std::string_view oemId, std::string_view oemTableId,
                                    const std::vector<uint8_t>& body = {});
// One SMBIOS structure: `formatted` is the formatted area after the 4-byte
// header (type, length, handle); `strings` the string set (numbered from 1).
std::vector<uint8_t> smbiosStructure(uint8_t type, uint16_t handle, const std::vector<uint8_t>& formatted,
                                     const std::vector<std::string>& strings);
// The raw SMBIOS data as GetSystemFirmwareTable('RSMB', 0) returns it: the
// 8-byte header (calling method, major, minor, revision, length) and the
// structures, followed by an end-of-table structure.
std::vector<uint8_t> rawSmbiosData(const std::vector<std::vector<uint8_t>>& structures, uint8_t major = 3,
                                   uint8_t minor = 2);

// WMI.
WmiValue wmiText(const std::wstring& text);
WmiValue wmiInt(int32_t value);
WmiValue wmiBool(bool value);
WmiValue wmiNull();
WmiValue wmiStrings(const std::vector<std::wstring>& strings);
using WmiProperties = std::vector<std::pair<std::wstring, WmiValue>>;
// The class of that name (created known and empty when missing).
WmiClass& addWmiClass(MachineProfile& profile, const std::wstring& className);
WmiClass* findWmiClass(MachineProfile& profile, const std::wstring& className);
void removeWmiClass(MachineProfile& profile, const std::wstring& className);
WmiRow& addWmiRow(MachineProfile& profile, const std::wstring& className, WmiProperties properties);
// Replaces (or adds) `property` in row `row` of the class, adding rows up to it.
void setWmiValue(MachineProfile& profile, const std::wstring& className, const std::wstring& property, WmiValue value,
                 size_t row = 0);

// A plausible physical desktop (Dell OptiPlex 7070, 16 GiB, Samsung NVMe SSD,
// Intel network adapter) on which no check of any detector finds a sign.
MachineProfile physicalMachineWithoutSigns();

}  // namespace Corvane::profile
