"""What a firmware report does not hold, and a converted profile therefore
takes from a typical physical Windows 11 desktop: one NVMe disk, an Intel
network adapter, the processes of a signed-in user, working sleep states.
Every such value is defined here and nowhere else; DESCRIPTION lists them
for the documents that print the results."""
from __future__ import annotations

import base64
import struct

DESCRIPTION = [
    "Windows 11 Pro 23H2 on x86-64, a 64-bit process, C:\\Windows, C:\\Program Files",
    "registry: the keys of a plain Windows installation; the values Windows copies from the firmware "
    "(SystemBiosVersion, SystemBiosDate, SystemManufacturer, SystemProductName, the HARDWARE\\ACPI keys) "
    "come from the report",
    "files, devices and folders of a plain Windows installation with Intel and NVMe drivers, no guest tools",
    "processes of a signed-in user on a plain Windows 11 desktop, no guest tools",
    "one Intel Ethernet adapter and one Intel Wi-Fi adapter with addresses of Intel's own ranges",
    "one NVMe disk, KINGSTON SNV2S500G",
    "video controller: Intel(R) UHD Graphics",
    "power capabilities: S3 and S4 available, thermal control present",
    "Plug and Play entities, buses and event log sources of such a desktop",
    "ACPI tables, only when the report comes without an acpidump: six tables (FACP, APIC, DSDT, SSDT, "
    "MCFG, HPET) built by an AMI firmware (OEM ID ALASKA, table ID A M I)",
    "physical memory, only when the report lists neither memory devices nor mapped memory: 16 GiB",
]

TOTAL_MEMORY_FALLBACK = 16 << 30

SYSTEM = {
    "power": {"callSucceeds": True, "systemS1": False, "systemS2": False, "systemS3": True, "systemS4": True,
              "thermalControl": True},
}

REGISTRY = [
    {"root": "HKLM", "path": "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 0\\Target Id 0\\Logical Unit Id 0",
     "values": [{"name": "Identifier", "data": "NVMe    KINGSTON SNV2S50SBM1"},
                {"name": "Type", "data": "DiskPeripheral"}]},
    {"root": "HKLM", "path": "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
     "values": [{"name": "ProductName", "data": "Windows 10 Pro"}, {"name": "CurrentBuild", "data": "22631"},
                {"name": "DisplayVersion", "data": "23H2"}]},
    {"root": "HKLM", "path": "SYSTEM\\ControlSet001\\Services\\disk", "values": []},
    {"root": "HKLM", "path": "SYSTEM\\ControlSet001\\Services\\stornvme", "values": []},
    {"root": "HKCU", "path": "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer", "values": []},
]

FILES = [{"path": path, "kind": "directory"} for path in (
    "C:\\Windows", "C:\\Windows\\System32", "C:\\Windows\\System32\\drivers", "C:\\Windows\\SysWOW64",
    "C:\\Program Files", "C:\\Program Files\\Common Files", "C:\\Program Files (x86)", "C:\\Users\\Public")] + [
    {"path": path, "kind": "file"} for path in (
        "C:\\Windows\\explorer.exe", "C:\\Windows\\System32\\kernel32.dll", "C:\\Windows\\System32\\ntdll.dll",
        "C:\\Windows\\System32\\drivers\\disk.sys", "C:\\Windows\\System32\\drivers\\stornvme.sys",
        "C:\\Windows\\System32\\drivers\\storport.sys", "C:\\Windows\\System32\\drivers\\e2f68.sys")]

DEVICES = [{"name": "\\\\.\\PhysicalDrive0", "openError": 5}]

PROCESSES = [{"pid": 4 * number, "exeName": name} for number, name in enumerate((
    "[System Process]", "System", "Registry", "smss.exe", "csrss.exe", "wininit.exe", "csrss.exe", "services.exe",
    "lsass.exe", "winlogon.exe", "svchost.exe", "svchost.exe", "fontdrvhost.exe", "svchost.exe", "dwm.exe",
    "svchost.exe", "spoolsv.exe", "MsMpEng.exe", "explorer.exe", "sihost.exe", "taskhostw.exe",
    "RuntimeBroker.exe", "SearchHost.exe", "StartMenuExperienceHost.exe", "ctfmon.exe",
    "SecurityHealthSystray.exe", "igfxEM.exe", "OneDrive.exe", "msedge.exe"))]

ADAPTERS = [
    {"description": "Intel(R) Ethernet Controller I226-V", "address": "A0:36:9F:6C:21:4E"},
    {"description": "Intel(R) Wi-Fi 6 AX101", "address": "F4:26:79:3B:D2:90"},
]

DISK_DRIVES = [{"hardwareIds": ["SCSI\\DiskNVMe____KINGSTON_SNV2S50SBM1", "SCSI\\DiskNVMe____KINGSTON_SNV2S50",
                                "SCSI\\DiskNVMe____", "SCSI\\NVMe____KINGSTON_SNV2S50S", "NVMe____KINGSTON_SNV2S50S",
                                "GenDisk"]}]

WINDOWS = [{"className": "Shell_TrayWnd", "title": ""}, {"className": "Progman", "title": "Program Manager"}]

NETWORK_PROVIDERS = [{"netType": "0x00020000", "name": "Microsoft Windows Network"},
                     {"netType": "0x002E0000", "name": "Web Client Network"}]

COMPUTER_NAME = "DESKTOP-K3M8Q2T"

_PNP_NAMES = ("ACPI x64-based PC", "Intel(R) UHD Graphics", "Intel(R) Ethernet Controller I226-V",
              "Intel(R) Wi-Fi 6 AX101", "KINGSTON SNV2S500G", "Standard NVM Express Controller",
              "Intel(R) USB 3.20 eXtensible Host Controller - 1.20 (Microsoft)", "Intel(R) SMBus - 54A3",
              "High Definition Audio Controller")
_DISK_PNP_ID = "SCSI\\DISK&VEN_NVME&PROD_KINGSTON_SNV2S50\\5&1D4E9A3&0&000000"

WMI_CLASSES = [
    {"name": "Win32_VideoController", "rows": [{
        "Caption": "Intel(R) UHD Graphics", "Name": "Intel(R) UHD Graphics",
        "PNPDeviceID": "PCI\\VEN_8086&DEV_46D1&SUBSYS_72708086&REV_00\\3&11583659&0&10"}]},
    {"name": "Win32_Bus", "rows": [{"DeviceID": bus, "Name": bus} for bus in (
        "ACPIBus_BUS_0", "PCI_BUS_0", "PNP_BUS_0", "PCI_BUS_1", "PCI_BUS_2", "USB_BUS_0")]},
    {"name": "Win32_NetworkAdapterConfiguration", "rows": [
        {"Description": "Microsoft Kernel Debug Network Adapter", "MACAddress": None}] + [
        {"Description": adapter["description"], "MACAddress": adapter["address"]} for adapter in ADAPTERS]},
    {"name": "Win32_PnPEntity", "rows": [{"Name": name, "Caption": name} for name in _PNP_NAMES]},
    {"name": "Win32_PnPDevice", "rows": [{
        "SameElement": f"\\\\{COMPUTER_NAME}\\root\\cimv2:Win32_DiskDrive.DeviceID=\"\\\\\\\\.\\\\PHYSICALDRIVE0\"",
        "SystemElement": f"\\\\{COMPUTER_NAME}\\root\\cimv2:Win32_PnPEntity.DeviceID=\"SCSI\\\\DISK&VEN_NVME\""}]},
    {"name": "Win32_DiskDrive", "rows": [{"Model": "KINGSTON SNV2S500G", "PNPDeviceID": _DISK_PNP_ID}]},
    {"name": "Win32_NTEventlogFile", "rows": [
        {"LogfileName": "Application", "Sources": ["Application", "Application Error", "MsiInstaller"]},
        {"LogfileName": "System", "Sources": ["System", "Service Control Manager", "disk", "stornvme", "Ntfs",
                                              "e2fnexpress", "Netwtw10", "igfxn", "EventLog", "Kernel-Power"]}]},
]


def _acpi_table(signature: str, body: bytes, revision: int = 1) -> bytes:
    length = 36 + len(body)
    header = bytearray(struct.pack("<4sIBB6s8sI4sI", signature.encode(), length, revision, 0, b"ALASKA",
                                   b"A M I   ", 0x01072009, b"AMI ", 0x00010013))
    table = header + body
    table[9] = (-sum(table)) & 0xFF
    return bytes(table)


# An AMI-built firmware's tables, short but well formed, with no product's name in them.
ACPI_TABLES = [
    ("FACP", _acpi_table("FACP", bytes(80), 5)),
    ("APIC", _acpi_table("APIC", bytes.fromhex("0000e0fe01000000"), 3)),
    ("DSDT", _acpi_table("DSDT", b"\x10\x4f\x05\\_SB_PCI0_HID\x0cPNP0A08", 2)),
    ("SSDT", _acpi_table("SSDT", b"\x10\x20\\_PR_CPU0", 2)),
    ("MCFG", _acpi_table("MCFG", bytes(16))),
    ("HPET", _acpi_table("HPET", bytes(20))),
]


def acpi_tables_json() -> list[dict]:
    return [{"id": name, "data": {"base64": base64.b64encode(data).decode()}} for name, data in ACPI_TABLES]
