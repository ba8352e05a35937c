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
import sys
import os
from typing import Optional

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import acpi  # noqa: E402
import assumed  # noqa: E402
import dmidecode  # noqa: E402
import smbios  # noqa: E402
from reports import Report  # noqa: E402

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


def _wmi_date(text: Optional[str]) -> Optional[str]:
    found = _DATE.match(text or "")
    if not found:
        return None
    month, day, century, year = found.groups()
    year = century + year if year else ("19" if int(century) >= 80 else "20") + century
    return f"{year}{month}{day}000000.000000+000"


def _registry_date(text: Optional[str]) -> Optional[str]:
    """SystemBiosDate: MM/DD/YY, as Windows writes it."""
    found = _DATE.match(text or "")
    if not found:
        return _text(text)
    month, day, century, year = found.groups()
    return f"{month}/{day}/{year or century}"


def _processor_id(s: dmidecode.Structure) -> Optional[str]:
    raw = smbios.processor_id(s.get("ID"))
    if raw is None:
        return None
    eax, edx = int.from_bytes(raw[:4], "little"), int.from_bytes(raw[4:], "little")
    return f"{edx:08X}{eax:08X}"


def _populated_processors(report: dmidecode.DmiReport) -> list[dmidecode.Structure]:
    processors = [s for s in _all(report, 4) if (s.get("Type") or "Central Processor") == "Central Processor"]
    populated = [s for s in processors if (s.get("Status") or "Populated").startswith("Populated")]
    return populated


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
        {"name": "CIM_Memory", "rows": caches + arrays + devices},
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
    notes = f"; firmware says: {' / '.join(dmi.warnings)}" if dmi.warnings else ""
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


def not_measurable(report: Report) -> list[str]:
    """Steps and checks that would read only anonymised ("--") fields of this report."""
    return [name for name, (kind, label) in _SINGLE_FIELD_READERS.items()
            if _first_value(report.dmidecode, kind, label) == smbios.ANONYMISED]


def _convert_all(dmi_repo: str, acpi_repo: Optional[str], limit: Optional[int]) -> int:
    """Converts every report of the clones without replaying them: how many are
    broken, and why, and what a conversion costs."""
    import collections
    import time
    from reports import iter_reports

    absent: list[str] = []
    kinds: collections.Counter = collections.Counter()
    examples: dict[str, str] = {}
    count = spent = 0
    wall, cpu = time.perf_counter(), time.process_time()
    for report in iter_reports(dmi_repo, acpi_repo, limit, absent):
        count += 1
        started = time.perf_counter()
        try:
            convert(report)
        except ReportError as e:
            kind = re.sub(r"0x[0-9A-Fa-f]+|\d+", "N", str(e))
            kinds[kind] += 1
            examples.setdefault(kind, f"{report.path}: {e}")
        spent += time.perf_counter() - started
    wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
    print(f"{count} reports, {sum(kinds.values())} broken; {spent * 1000 / max(count, 1):.3f} ms per conversion; "
          f"in all {wall:.0f} s, {cpu:.0f} s of processor time in this process (git's own not counted)")
    for kind, number in kinds.most_common():
        print(f"{number:7}  {examples[kind]}")
    for path in absent:
        print(f"absent from the clone: {path}")
    return 0


def main(argv: list[str]) -> int:
    import argparse
    import json

    parser = argparse.ArgumentParser(description="Convert firmware reports to machine profiles.")
    parser.add_argument("dmidecode", help="a dmidecode text file, or with --all a clone of linuxhw/DMI")
    parser.add_argument("acpidump", nargs="?", help="the acpidump text of the same machine, or a clone of linuxhw/ACPI")
    parser.add_argument("--all", action="store_true", help="convert every report of the clones and count the broken")
    parser.add_argument("--limit", type=int, help="with --all: only the first N reports")
    args = parser.parse_args(argv)
    if args.all:
        return _convert_all(args.dmidecode, args.acpidump, args.limit)
    with open(args.dmidecode, encoding="utf-8", errors="replace") as f:
        text = f.read()
    acpidump = None
    if args.acpidump:
        with open(args.acpidump, encoding="utf-8", errors="replace") as f:
            acpidump = f.read()
    name = os.path.basename(args.dmidecode).split(".")[0]
    try:
        profile = convert(Report(name, name, "", "", name, text, acpidump))
    except ReportError as e:
        print(f"{args.dmidecode}: {e}", file=sys.stderr)
        return 1
    json.dump(profile, sys.stdout, indent=1)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
