"""Reads the text `dmidecode` prints into structures: header, the fields as
printed, and the raw bytes and strings of the structures it shows only as a
hex dump (OEM types, and types this dmidecode did not know)."""
from __future__ import annotations

import re
import functools
from dataclasses import dataclass, field
from typing import Optional


class DmiTextError(Exception):
    """The text is not a whole dmidecode report."""


@dataclass
class Structure:
    handle: int
    type: int
    length: int
    title: str = ""
    # Every "Label: value" line, values in the order printed (type 10 repeats labels).
    fields: dict[str, list[str]] = field(default_factory=dict)
    # Lines indented below a "Label:" line with no value on it.
    items: dict[str, list[str]] = field(default_factory=dict)
    raw: Optional[bytes] = None          # "Header and Data"
    strings: Optional[list[str]] = None  # "Strings" of a hex-dumped structure
    truncated: bool = False              # the firmware's table ends inside it

    def get(self, label: str) -> Optional[str]:
        values = self.fields.get(label)
        return values[0] if values else None


@dataclass
class DmiReport:
    version: tuple[int, int, int]  # SMBIOS version the entry point states
    structures: list[Structure]
    warnings: list[str]            # what dmidecode said about the firmware's table


_HANDLE = re.compile(r"(?:0x)?([0-9A-Fa-f]{4}), DMI type (\d+), (\d+) bytes")
_VERSION = re.compile(r"SMBIOS (\d+)\.(\d+)(?:\.(\d+))? present")
_NO_TABLE = ("No SMBIOS nor DMI entry point found", "Can't read memory from")


# The last report read is kept: the converter and the study's reading of a report's hypervisor each
# parse the same text, and half of a report's conversion time went to the second parse. A DmiReport
# is never changed once made, so the two may share it.
@functools.lru_cache(maxsize=1)
def parse(text: str) -> DmiReport:
    if not text.strip():
        raise DmiTextError("empty report")
    head, *blocks = text.split("\nHandle 0x")
    if text.startswith("Handle 0x"):
        head, blocks = "", [text[len("Handle 0x"):]] + blocks
    for marker in _NO_TABLE:
        if marker in head:
            raise DmiTextError(f"no SMBIOS table: dmidecode says \"{marker}\"")
    found = _VERSION.search(head)
    version = (int(found.group(1)), int(found.group(2)), int(found.group(3) or 0)) if found else (2, 0, 0)
    if not blocks:
        raise DmiTextError("no structure in the report")

    structures, warnings = [], []
    for number, block in enumerate(blocks):
        lines = block.split("\n")
        top = _HANDLE.match(lines[0])
        if top is None:
            raise DmiTextError(f"structure {number + 1}: unreadable header \"Handle 0x{lines[0][:40]}\"")
        s = Structure(int(top.group(1), 16), int(top.group(2)), int(top.group(3)))
        _read_body(s, lines[1:], warnings)
        if s.truncated:
            # The firmware's table is shorter than its structures: dmidecode stops
            # here, and so does the rebuilt table.
            warnings.insert(0, f"handle 0x{s.handle:04X}: the table ends inside this structure")
            continue
        if not s.title and not s.fields and number == len(blocks) - 1:
            # Inside the report a bare header is a structure with nothing to print
            # (a type 10 of 4 bytes); at its end it is where the text was cut.
            raise DmiTextError(f"handle 0x{s.handle:04X}: the report ends inside the structure")
        structures.append(s)
    if not text.endswith("\n"):
        raise DmiTextError("the report ends in the middle of a line")
    return DmiReport(version, structures, warnings)


# Labels whose indented lines are kept (all others, such as the long flag
# lists, are skipped for speed).
_KEPT_LISTS = {"Installable Languages"}


def _read_body(s: Structure, lines: list[str], warnings: list[str]) -> None:
    collecting = None  # the list the indented lines below the current label go to
    hex_lines = string_lines = None
    after_blank = False
    fields = s.fields
    for line in lines:
        if not line:
            after_blank = True
            continue
        if line[0] != "\t":
            if after_blank:
                if line[0] != "#":  # dmidecode's own complaints follow the last structure
                    warnings.append(line)
            elif not s.title:
                s.title = line
            continue
        if line == "\t<TRUNCATED>":
            s.truncated = True
            continue
        if line[1:2] == "\t":
            if collecting is not None:
                collecting.append(line[2:])
            continue
        if line[-1] == ":":
            label = line[1:-1]
            if label == "Header and Data":
                collecting = hex_lines = []
            elif label == "Strings" and hex_lines is not None:
                collecting = string_lines = []
            elif label in _KEPT_LISTS:
                collecting = s.items.setdefault(label, [])
            else:
                collecting = None
            continue
        collecting = None
        name, sep, value = line[1:].partition(": ")
        if sep:
            if name in fields:
                fields[name].append(value)
            else:
                fields[name] = [value]
    if hex_lines is not None:
        try:
            raw = bytes.fromhex(" ".join(hex_lines))
        except ValueError:
            raise DmiTextError(f"handle 0x{s.handle:04X}: unreadable hex dump") from None
        if len(raw) != s.length:
            raise DmiTextError(f"handle 0x{s.handle:04X}: {len(raw)} bytes dumped of {s.length} announced")
        s.raw = raw
        s.strings = string_lines or []
