"""Reads the ACPI tables of a machine from the text `acpidump` prints:
"SIG @ 0xADDRESS" and then lines of "OFFSET: 16 hex bytes  ascii"."""
from __future__ import annotations

import re
import struct


class AcpiTextError(Exception):
    """The acpidump text is cut or unreadable."""


_TITLE = re.compile(r"^(\S.{0,8}?)\s*@\s*0x[0-9A-Fa-f]+\s*$")
_NOT_TABLES = ("RSDP", "RSD PTR")
_OFFSET = re.compile(r"^[0-9A-Fa-f]{4,8}$")


def parse(text: str) -> list[tuple[str, bytes]]:
    """(signature as dumped, bytes) of every table, in dump order, each checked
    against the length in its own header."""
    tables: list[tuple[str, bytes]] = []
    name, rows = None, []

    def close() -> None:
        if name is None:
            return
        data = b"".join(rows)
        if name not in _NOT_TABLES and len(data) >= 8:
            announced = struct.unpack_from("<I", data, 4)[0]
            if announced != len(data) and not (name == "FACS" and announced <= len(data)):
                raise AcpiTextError(f"table {name}: {len(data)} bytes dumped of {announced} announced")
        tables.append((name, data))

    for line in text.split("\n"):
        stripped = line.strip()
        if not stripped:
            continue
        title = _TITLE.match(line)
        if title:
            close()
            name, rows = title.group(1).strip(), []
            continue
        offset, sep, rest = stripped.partition(":")
        if not sep or name is None or not _OFFSET.match(offset):
            continue  # acpidump's own remarks ("Firmware Warning (ACPI): ...")
        digits = rest[1:].split("  ", 1)[0]  # two spaces part the bytes from the text column
        try:
            if int(offset, 16) != 16 * len(rows):
                raise AcpiTextError(f"table {name}: a gap at offset {offset}")
            rows.append(bytes.fromhex(digits))
        except ValueError:
            raise AcpiTextError(f"table {name}: unreadable line \"{stripped[:40]}\"") from None
    close()
    if not tables:
        raise AcpiTextError("no table in the acpidump text")
    return tables


def firmware_tables(tables: list[tuple[str, bytes]]) -> list[tuple[str, bytes]]:
    """The tables Windows hands out through GetSystemFirmwareTable('ACPI'):
    every table with a signature of its own.  The RSDP is no table (it has
    no standard header) and is left out."""
    return [(name, data) for name, data in tables if name not in _NOT_TABLES and len(data) >= 4]


def header_fields(data: bytes) -> tuple[str, str, int]:
    """(OEM ID, OEM table ID, OEM revision) of a table with the standard 36-byte header."""
    if len(data) < 36:
        return "", "", 0
    oem = data[10:16].decode("latin-1")
    table = data[16:24].decode("latin-1")
    return oem, table, struct.unpack_from("<I", data, 24)[0]
