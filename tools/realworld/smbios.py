"""Rebuilds the raw SMBIOS table of a machine from its dmidecode report, in
the layout GetSystemFirmwareTable('RSMB', 0) returns: the 8-byte
RawSMBIOSData header (Used20CallingMethod, major and minor version,
DMI revision, table length) and then the structures.

A structure dmidecode shows as a hex dump keeps its bytes and strings as
they stand.  A structure it decoded gets its header, a formatted area of the
announced length, and its string set: each string field dmidecode printed
goes into the set in field order and its index into the byte where the
structure keeps it, so that every string sits where Windows reads it.  The
few numbers the WMI classes and the checks read (processor ID, memory size,
chassis type, processor status) are written back too; other bytes are zero.
"""
from __future__ import annotations

import re
import struct
from typing import Optional

from .dmidecode import DmiReport, Structure

# dmidecode prints "Not Specified" for string index 0.
ABSENT = "Not Specified"
ANONYMISED = "--"

# String fields of the standard structures: dmidecode's label -> offset of
# the index byte in the formatted area.
STRING_FIELDS: dict[int, dict[str, int]] = {
    0: {"Vendor": 0x04, "Version": 0x05, "Release Date": 0x08},
    1: {"Manufacturer": 0x04, "Product Name": 0x05, "Version": 0x06, "Serial Number": 0x07,
        "SKU Number": 0x19, "Family": 0x1A},
    2: {"Manufacturer": 0x04, "Product Name": 0x05, "Version": 0x06, "Serial Number": 0x07,
        "Asset Tag": 0x08, "Location In Chassis": 0x0A},
    3: {"Manufacturer": 0x04, "Version": 0x06, "Serial Number": 0x07, "Asset Tag": 0x08},
    4: {"Socket Designation": 0x04, "Manufacturer": 0x07, "Version": 0x10, "Serial Number": 0x20,
        "Asset Tag": 0x21, "Part Number": 0x22},
    6: {"Socket Designation": 0x04},
    7: {"Socket Designation": 0x04},
    8: {"Internal Reference Designator": 0x04, "External Reference Designator": 0x06},
    9: {"Designation": 0x04},
    14: {"Name": 0x04},
    17: {"Locator": 0x10, "Bank Locator": 0x11, "Manufacturer": 0x17, "Serial Number": 0x18,
         "Asset Tag": 0x19, "Part Number": 0x1A, "Firmware Version": 0x2B},
    22: {"Location": 0x04, "Manufacturer": 0x05, "Manufacture Date": 0x06, "Serial Number": 0x07,
         "Name": 0x08, "SBDS Version": 0x0E, "SBDS Chemistry": 0x14},
    26: {"Description": 0x04},
    27: {"Description": 0x0E},
    28: {"Description": 0x04},
    29: {"Description": 0x04},
    30: {"Manufacturer Name": 0x04},
    34: {"Description": 0x04},
    35: {"Description": 0x04},
    39: {"Location": 0x05, "Name": 0x06, "Manufacturer": 0x07, "Serial Number": 0x08,
         "Asset Tag": 0x09, "Model Part Number": 0x0A, "Revision": 0x0B},
    41: {"Reference Designation": 0x04},
    43: {"Description": 0x12},
}

# Structures whose strings are a numbered list: type -> label prefix.
NUMBERED_STRINGS = {11: "String ", 12: "Option "}

CHASSIS_TYPES = {
    "Other": 1, "Unknown": 2, "Desktop": 3, "Low Profile Desktop": 4, "Pizza Box": 5, "Mini Tower": 6,
    "Tower": 7, "Portable": 8, "Laptop": 9, "Notebook": 10, "Hand Held": 11, "Docking Station": 12,
    "All In One": 13, "Sub Notebook": 14, "Space-saving": 15, "Lunch Box": 16, "Main Server Chassis": 17,
    "Expansion Chassis": 18, "Sub Chassis": 19, "Bus Expansion Chassis": 20, "Peripheral Chassis": 21,
    "RAID Chassis": 22, "Rack Mount Chassis": 23, "Sealed-case PC": 24, "Multi-system": 25,
    "CompactPCI": 26, "AdvancedTCA": 27, "Blade": 28, "Blade Enclosing": 29, "Tablet": 30,
    "Convertible": 31, "Detachable": 32, "IoT Gateway": 33, "Embedded PC": 34, "Mini PC": 35, "Stick PC": 36,
}

_SIZE = re.compile(r"(\d+) (bytes|kB|KB|MB|GB|TB)")
_UNITS = {"bytes": 1, "kB": 1 << 10, "KB": 1 << 10, "MB": 1 << 20, "GB": 1 << 30, "TB": 1 << 40}


def size_in_bytes(text: Optional[str]) -> Optional[int]:
    """"8192 MB" -> bytes; None for "No Module Installed", "Unknown" and the like."""
    found = _SIZE.match(text or "")
    return int(found.group(1)) * _UNITS[found.group(2)] if found else None


def processor_id(text: Optional[str]) -> Optional[bytes]:
    """The eight bytes of a type 4 "ID: EB 06 09 00 FF FB EB BF" line."""
    try:
        raw = bytes.fromhex(text or "")
    except ValueError:
        return None
    return raw if len(raw) == 8 else None


def is_string(value: Optional[str]) -> bool:
    """Whether the firmware holds a string here (dmidecode shows index 0 as "Not Specified")."""
    return value is not None and value != ABSENT and value != "<BAD INDEX>"


def _encode(text: str) -> bytes:
    return text.encode("latin-1", "replace")


def _pack(formatted: bytearray, strings: list[str]) -> bytes:
    if not strings:
        return bytes(formatted) + b"\0\0"
    return bytes(formatted) + b"\0".join(map(_encode, strings)) + b"\0\0"


def _formatted(s: Structure) -> bytearray:
    length = max(s.length, 4)
    area = bytearray(length)
    area[0], area[1] = s.type, length & 0xFF
    area[2:4] = struct.pack("<H", s.handle)
    return area


def _put(area: bytearray, offset: int, data: bytes) -> None:
    if offset + len(data) <= len(area):
        area[offset:offset + len(data)] = data


def _decoded_structure(s: Structure) -> bytes:
    area = _formatted(s)
    strings: list[str] = []

    def add(offset: int, value: Optional[str]) -> None:
        if is_string(value) and offset < len(area):
            strings.append(value)
            area[offset] = len(strings)

    layout = STRING_FIELDS.get(s.type)
    if layout:
        for label, offset in layout.items():
            add(offset, s.get(label))
    if s.type == 3:
        # The SKU string closes the formatted area when there is one.
        if s.length > 0x15:
            add(s.length - 1, s.get("SKU Number"))
        _put(area, 0x05, bytes([CHASSIS_TYPES.get(s.get("Type") or "", 2)]))
    elif s.type == 4:
        _put(area, 0x08, processor_id(s.get("ID")) or b"")
        status = s.get("Status") or ""
        area_status = (0x40 if status.startswith("Populated") else 0) | (1 if "Enabled" in status else 0)
        _put(area, 0x18, bytes([area_status]))
        _put(area, 0x05, bytes([3 if s.get("Type") == "Central Processor" else 1]))
    elif s.type == 10:
        for number, description in enumerate(s.fields.get("Description", [])):
            add(0x05 + 2 * number, description)
    elif s.type in NUMBERED_STRINGS:
        prefix = NUMBERED_STRINGS[s.type]
        listed = [values[0] for label, values in s.fields.items() if label.startswith(prefix)]
        strings.extend(listed)
        _put(area, 0x04, bytes([len(listed) & 0xFF]))
    elif s.type == 13:
        languages = s.items.get("Installable Languages", [])
        strings.extend(languages)
        _put(area, 0x04, bytes([len(languages) & 0xFF]))
        current = s.get("Currently Installed Language")
        if current in languages:
            _put(area, 0x15, bytes([languages.index(current) + 1]))
    elif s.type == 17:
        size = size_in_bytes(s.get("Size"))
        if size is not None:
            megabytes = size >> 20
            if megabytes < 0x7FFF:
                _put(area, 0x0C, struct.pack("<H", megabytes))
            else:
                _put(area, 0x0C, struct.pack("<H", 0x7FFF))
                _put(area, 0x1C, struct.pack("<I", megabytes))
    return _pack(area, strings)


def structure_bytes(s: Structure) -> bytes:
    if s.raw is not None:
        return s.raw + (b"\0".join(map(_encode, s.strings)) + b"\0\0" if s.strings else b"\0\0")
    return _decoded_structure(s)


def raw_smbios(report: DmiReport) -> bytes:
    """The RSMB firmware table: RawSMBIOSData header, then every structure."""
    table = b"".join(structure_bytes(s) for s in report.structures)
    major, minor, docrev = report.version
    header = struct.pack("<BBBBI", 0, major & 0xFF, minor & 0xFF, docrev & 0xFF if major >= 3 else 0, len(table))
    return header + table
