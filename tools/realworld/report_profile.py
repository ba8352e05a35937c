"""Turns a public hardware report (dmidecode text, and acpidump text where
there is one) into a machine profile that `corvane-vmd replay` loads.

The firmware facts come from the report: the raw SMBIOS table rebuilt from
its structures, the WMI classes Windows fills from that table, the registry
values Windows copies from the firmware, the ACPI tables byte for byte.
Everything else comes from the typical physical machine of `assumed.py`.
docs/firmware-report-mapping.md describes the mapping field by field.
"""
from __future__ import annotations

import base64
import re
from typing import Optional

from . import acpi, assumed, dmidecode, smbios
from .reports import Report

ASSUMED = assumed


class ReportError(Exception):
    """A report that is broken or cut short; str(e) says why in one line."""


# The legacy hole between 640 KiB and 1 MiB, which no PC hands to Windows:
# a machine with exactly 1 GiB installed shows less than 1 GiB, as it does on Windows.
_LEGACY_HOLE = 0x60000


def _text(value: Optional[str]):
    """A string property as Windows gives it: the string, or null where the firmware has none."""
    return value if smbios.is_string(value) else None


def _first(report: dmidecode.DmiReport, kind: int) -> Optional[dmidecode.Structure]:
    for s in report.structures:
        if s.type == kind:
            return s
    return None


def _all(report: dmidecode.DmiReport, kind: int) -> list[dmidecode.Structure]:
    return [s for s in report.structures if s.type == kind]


_DATE = re.compile(r"^(\d{2})/(\d{2})/(\d{2})(\d{2})?$")


def _date_fields(text: Optional[str]) -> Optional[tuple[str, str, str]]:
    """(month, day, year of four digits) of a firmware date, None when it is no date.

    SMBIOS writes mm/dd/yy or mm/dd/yyyy, but some firmware writes the day first (Bochs'
    BIOS: "29/12/2019"): a first field that cannot be a month while the second can is
    read day first, and `date_note` says so in the profile; a date that fits neither
    order is no date."""
    found = _DATE.match(text or "")
    if not found:
        return None
    first, second, century, year = found.groups()
    year = century + year if year else ("19" if int(century) >= 80 else "20") + century
    if int(first) <= 12:
        return first, second, year
    if int(second) <= 12:
        return second, first, year
    return None


def date_note(text: Optional[str]) -> Optional[str]:
    """Why a firmware date was not read month first, for the profile's source; None when it was."""
    found = _DATE.match(text or "")
    if not found or int(found.group(1)) <= 12:
        return None
    if _date_fields(text):
        return f"BIOS date {text} read day first"
    return f"BIOS date {text} is no date: ReleaseDate null"


def _wmi_date(text: Optional[str]) -> Optional[str]:
    fields = _date_fields(text)
    if not fields:
        return None
    month, day, year = fields
    return f"{year}{month}{day}000000.000000+000"


def _registry_date(text: Optional[str]) -> Optional[str]:
    """SystemBiosDate: MM/DD/YY, as Windows writes it."""
    if not _DATE.match(text or ""):
        return _text(text)
    fields = _date_fields(text)
    if not fields:
        return None
    month, day, year = fields
    return f"{month}/{day}/{year[2:]}"


def _processor_id(s: dmidecode.Structure) -> Optional[str]:
    raw = smbios.processor_id(s.get("ID"))
    if raw is None:
        return None
    eax, edx = int.from_bytes(raw[:4], "little"), int.from_bytes(raw[4:], "little")
    return f"{edx:08X}{eax:08X}"


def _populated_processors(report: dmidecode.DmiReport) -> list[dmidecode.Structure]:
    """The processors Windows lists: those the firmware marks populated, and those it marks
    unpopulated but gives a real (non-zero) ID, which only a processor in the socket has: the
    machine that wrote the report ran on one."""
    processors = [s for s in _all(report, 4) if (s.get("Type") or "Central Processor") == "Central Processor"]
    return [s for s in processors
            if (s.get("Status") or "Populated").startswith("Populated") or any(smbios.processor_id(s.get("ID")) or b"")]


def _installed_modules(report: dmidecode.DmiReport) -> list[tuple[dmidecode.Structure, int]]:
    modules = []
    for s in _all(report, 17):
        size = smbios.size_in_bytes(s.get("Size"))
        if size:
            modules.append((s, size))
    return modules


def _mapped_memory(report: dmidecode.DmiReport) -> int:
    total = 0
    for s in _all(report, 19):
        size = smbios.size_in_bytes(s.get("Range Size"))
        total += size or 0
    return total


def total_physical_memory(report: dmidecode.DmiReport) -> tuple[int, str]:
    """(bytes Windows would count, where the number comes from)."""
    # A figure no larger than the legacy hole is a broken table, not a machine
    # without memory: the next source is asked instead.
    installed = sum(size for _, size in _installed_modules(report))
    if installed > _LEGACY_HOLE:
        return installed - _LEGACY_HOLE, "memory devices (type 17)"
    mapped = _mapped_memory(report)
    if mapped > _LEGACY_HOLE:
        return mapped - _LEGACY_HOLE, "mapped memory ranges (type 19)"
    return assumed.TOTAL_MEMORY_FALLBACK, "assumed"


def _wmi_classes(report: dmidecode.DmiReport, memory: int) -> list[dict]:
    bios, system, board = _first(report, 0), _first(report, 1), _first(report, 2)
    get = lambda s, label: _text(s.get(label)) if s else None  # noqa: E731

    bios_row = {"Manufacturer": get(bios, "Vendor"), "Name": get(bios, "Version"),
                "SerialNumber": get(system, "Serial Number"), "SMBIOSBIOSVersion": get(bios, "Version"),
                "ReleaseDate": _wmi_date(bios.get("Release Date")) if bios else None}
    system_row = {"Manufacturer": get(system, "Manufacturer"), "Model": get(system, "Product Name"),
                  "Name": assumed.COMPUTER_NAME, "SystemFamily": get(system, "Family"),
                  "SystemSKUNumber": get(system, "SKU Number"), "TotalPhysicalMemory": str(memory),
                  "HypervisorPresent": False}
    board_rows = [{"Manufacturer": get(s, "Manufacturer"), "Product": get(s, "Product Name"),
                   "SerialNumber": get(s, "Serial Number"), "Version": get(s, "Version")}
                  for s in _all(report, 2)]
    processors = _populated_processors(report)
    processor_rows = [{"Name": get(s, "Version"), "ProcessorId": _processor_id(s)} for s in processors] or [
        {"Name": None, "ProcessorId": None}]

    caches = [{"DeviceID": f"Cache Memory {n}", "Purpose": get(s, "Socket Designation")}
              for n, s in enumerate(_all(report, 7))]
    arrays = [{"DeviceID": f"Memory Array {n}"} for n, _ in enumerate(_all(report, 19))]
    devices = [{"DeviceID": f"Memory Device {n}"} for n, _ in enumerate(_all(report, 20))]
    modules = [{"BankLabel": get(s, "Bank Locator"), "Capacity": str(size), "DeviceLocator": get(s, "Locator"),
                "Manufacturer": get(s, "Manufacturer"), "PartNumber": get(s, "Part Number"),
                "Tag": f"Physical Memory {n}"} for n, (s, size) in enumerate(_installed_modules(report))]
    ports = [{"Tag": f"Port Connector {n}", "ExternalReferenceDesignator": get(s, "External Reference Designator"),
              "InternalReferenceDesignator": get(s, "Internal Reference Designator")}
             for n, s in enumerate(_all(report, 8))]
    slots = [{"SlotDesignation": get(s, "Designation"), "Tag": f"System Slot {n}"}
             for n, s in enumerate(_all(report, 9))]

    return [
        {"name": "Win32_BIOS", "rows": [bios_row] if bios or system else []},
        {"name": "Win32_ComputerSystem", "rows": [system_row]},
        {"name": "Win32_BaseBoard", "rows": board_rows},
        {"name": "Win32_Processor", "rows": processor_rows},
        {"name": "Win32_CacheMemory", "rows": caches},
        {"name": "Win32_PhysicalMemory", "rows": modules},
        {"name": "Win32_SMBIOSMemory", "rows": arrays + devices},
        # Win32_MemoryArray and Win32_MemoryDevice derive from Win32_SMBIOSMemory, a CIM_StorageExtent:
        # of the classes here, only Win32_CacheMemory (a CIM_CacheMemory) is a CIM_Memory.
        {"name": "CIM_Memory", "rows": caches},
        {"name": "CIM_PhysicalConnector", "rows": ports + slots},
        {"name": "CIM_Slot", "rows": slots},
    ]


def _acpi_key_part(text: str) -> str:
    """A registry key name from an ACPI header field: Windows writes spaces as underscores."""
    return text.rstrip("\0").replace(" ", "_").replace("\0", "_").replace("\\", "_")


def _registry(report: dmidecode.DmiReport, tables: list[tuple[str, bytes]]) -> list[dict]:
    bios, system = _first(report, 0), _first(report, 1)
    get = lambda s, label: _text(s.get(label)) if s else None  # noqa: E731
    fadt = next((data for name, data in tables if name == "FACP"), None)
    oem, _, revision = acpi.header_fields(fadt) if fadt else ("", "", 0)

    bios_version = [f"{oem.rstrip() or oem} - {revision:X}"] if fadt else []
    if get(bios, "Version"):
        bios_version.append(get(bios, "Version"))
    description = [{"name": "Identifier", "data": "AT/AT COMPATIBLE"}]
    if bios and _registry_date(bios.get("Release Date")):
        description.append({"name": "SystemBiosDate", "data": _registry_date(bios.get("Release Date"))})
    if bios_version:
        description.append({"name": "SystemBiosVersion", "data": bios_version})
    information = [{"name": name, "data": value} for name, value in (
        ("SystemManufacturer", get(system, "Manufacturer")), ("SystemProductName", get(system, "Product Name")),
        ("BIOSVersion", get(bios, "Version")), ("BIOSReleaseDate", get(bios, "Release Date"))) if value]

    keys = [{"root": "HKLM", "path": "HARDWARE\\Description\\System", "values": description},
            {"root": "HKLM", "path": "SYSTEM\\ControlSet001\\Control\\SystemInformation", "values": information}]
    # HARDWARE\ACPI\<table>\<OEM ID>\<OEM table ID>\<OEM revision>; the RSDT key
    # follows the RSDT, or the FADT when the dump has no RSDT.
    named = {"DSDT": "DSDT", "FACP": "FADT", "RSDT": "RSDT"}
    seen = set()
    for name, data in tables:
        if name in named and named[name] not in seen and len(data) >= 36:
            seen.add(named[name])
            keys.append(_acpi_key(named[name], data))
    if "RSDT" not in seen and fadt is not None:
        keys.append(_acpi_key("RSDT", fadt))
    return keys + assumed.REGISTRY


def _acpi_key(key: str, data: bytes) -> dict:
    oem, table, revision = acpi.header_fields(data)
    return {"root": "HKLM", "path": f"HARDWARE\\ACPI\\{key}\\{_acpi_key_part(oem)}\\{_acpi_key_part(table)}"
                                    f"\\{revision:08X}", "values": []}


def _parse(report: Report) -> tuple[dmidecode.DmiReport, Optional[list[tuple[str, bytes]]]]:
    try:
        dmi = dmidecode.parse(report.dmidecode)
    except dmidecode.DmiTextError as e:
        raise ReportError(f"dmidecode: {e}") from None
    if dmi.warnings and not any(s.type in (0, 1) for s in dmi.structures):
        # dmidecode read something that is no SMBIOS table: it found neither the
        # BIOS nor the system structure before giving up.
        raise ReportError(f"dmidecode: no BIOS or system structure before \"{dmi.warnings[0]}\"")
    tables = None
    if report.acpidump is not None:
        try:
            tables = acpi.firmware_tables(acpi.parse(report.acpidump))
        except acpi.AcpiTextError as e:
            raise ReportError(f"acpidump: {e}") from None
    return dmi, tables


def convert(report: Report) -> dict:
    """The machine profile of one report (a dict in the JSON form of docs/machine-profile.md)."""
    try:
        return _convert(report)
    except ReportError:
        raise
    except Exception as e:  # a report no rule above foresaw: named and counted, never a crash
        raise ReportError(f"converter fault: {type(e).__name__}: {e}") from e


def _convert(report: Report) -> dict:
    dmi, tables = _parse(report)
    acpi_from_report = tables is not None
    if tables is None:
        tables = assumed.ACPI_TABLES
    memory, memory_source = total_physical_memory(dmi)
    system = dict(assumed.SYSTEM, totalPhysicalMemory=memory)
    bios = _first(dmi, 0)
    notes = f"; firmware says: {' / '.join(dmi.warnings)}" if dmi.warnings else ""
    read_as = date_note(bios.get("Release Date")) if bios else None
    notes += f"; {read_as}" if read_as else ""
    return {
        "format": "corvane-machine-profile",
        "version": 1,
        "description": f"{report.vendor} {report.model} ({report.form_factor}), report {report.hwid}",
        "source": (f"linuxhw/DMI {report.path} (CC-BY-4.0)"
                   + (" with linuxhw/ACPI acpidump" if acpi_from_report else ", ACPI tables assumed")
                   + f"; memory from {memory_source}; everything else assumed (see tools/realworld/assumed.py)"
                   + notes),
        "system": system,
        "registry": _registry(dmi, tables),
        "files": assumed.FILES,
        "devices": assumed.DEVICES,
        "processes": assumed.PROCESSES,
        "adapters": assumed.ADAPTERS,
        "firmware": {
            "functionsPresent": True,
            "rawSmbios": {"base64": base64.b64encode(smbios.raw_smbios(dmi)).decode()},
            "acpiTables": [{"id": name, "data": {"base64": base64.b64encode(data).decode()}}
                           for name, data in tables],
        },
        "diskDrives": assumed.DISK_DRIVES,
        "windows": assumed.WINDOWS,
        "networkProviders": assumed.NETWORK_PROVIDERS,
        "wmi": {"classes": _wmi_classes(dmi, memory) + assumed.WMI_CLASSES},
    }


# Steps and checks whose every input from the report is one field, and that
# field's SMBIOS source: (structure type, dmidecode label).
_SINGLE_FIELD_READERS = {
    "GeneralDetection.checkBiosSerialNumber": (1, "Serial Number"),
}


def _first_value(text: str, kind: int, label: str) -> Optional[str]:
    """The value of `label` in the first structure of type `kind`, read straight from the text."""
    at = text.find(f", DMI type {kind},")
    if at < 0:
        return None
    end = text.find("\nHandle 0x", at)
    block = text[at:end if end >= 0 else len(text)]
    found = block.find(f"\n\t{label}: ")
    if found < 0:
        return None
    start = found + len(label) + 4
    stop = block.find("\n", start)
    return block[start:stop if stop >= 0 else len(block)]


# Checks that read the ACPI tables, or what Windows copies from them into the registry (the
# HARDWARE\ACPI keys named by the tables' headers, SystemBiosVersion's first string from the FADT).
# A report without an acpidump gets the assumed machine's tables so that nothing reads an empty
# list as a sign; what these checks would find in the machine's own tables is not measured.
ACPI_READERS = (
    "VirtualBoxDetection.checkRegistryKeys",
    "VirtualBoxDetection.checkRegistryValues",
    "VirtualBoxDetection.checkAcpiTables",
    "VMWareDetection.checkAcpiTables",
    "QemuDetection.checkRegistryValues",
    "QemuDetection.checkAcpiTables",
)


def not_measurable(report: Report) -> list[str]:
    """Steps and checks this report cannot measure: those that would read only anonymised ("--")
    fields, and without an acpidump those that read the ACPI tables."""
    anonymised = [name for name, (kind, label) in _SINGLE_FIELD_READERS.items()
                  if _first_value(report.dmidecode, kind, label) == smbios.ANONYMISED]
    return anonymised + (list(ACPI_READERS) if report.acpidump is None else [])
