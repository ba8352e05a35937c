#!/usr/bin/env python3
"""Builds the raw SMBIOS data of a VirtualBox guest, as GetSystemFirmwareTable('RSMB', 0)
returns it, from the strings and fields that `dmidecode` printed on a VirtualBox 6.1.4 guest
(tests/fixtures/firmware/virtualbox/facter_vbox614_dmidecode.txt).

    tools/make-virtualbox-smbios.py OUTPUT [--guest-version 6.1.4 --guest-revision 136177]

Layout: the 8-byte RawSMBIOSData header (calling method 0, SMBIOS 2.5, DMI revision 0,
32-bit table length), then the structures in the order dmidecode listed them, with their
handles, lengths, formatted fields and string sets.

What the text does not show is filled in plainly and is the only difference from the
guest's bytes: the three inactive structures (type 126) get a zeroed formatted area and no
strings, so the table is 359 bytes where the guest's was 449.  The detector reads only the
strings, which are all reproduced.

--guest-version and --guest-revision change the two OEM strings "vboxVer_..." and
"vboxRev_..." (type 11), the only part of the table that names the VirtualBox release.
"""

import argparse
import struct
import sys


def structure(kind, handle, length, fields, strings=()):
    """One SMBIOS structure: 4-byte header, formatted area of `length` bytes, string set."""
    formatted = bytes(fields)
    if 4 + len(formatted) != length:
        raise ValueError(f"type {kind} handle {handle:#06x}: {4 + len(formatted)} bytes, expected {length}")
    data = struct.pack("<BBH", kind, length, handle) + formatted
    if strings:
        data += b"".join(s.encode("ascii") + b"\0" for s in strings) + b"\0"
    else:
        data += b"\0\0"
    return data


def word(value):
    return list(struct.pack("<H", value))


def qword(value):
    return list(struct.pack("<Q", value))


def bios_characteristics():
    # ISA, PCI, boot from CD, selectable boot, 8042 keyboard (int 9h), CGA/mono video (int 10h).
    bits = [4, 7, 15, 16, 27, 30]
    return sum(1 << b for b in bits)


def table(guest_version, guest_revision):
    uuid = bytes.fromhex("784198EC5827476E9E24B0E98E8958F5")
    structures = [
        # BIOS Information: vendor, version, start segment 0xE000 (128 kB runtime), date,
        # ROM size 128 kB ((n + 1) * 64 kB), characteristics, extension byte 1 bit 0: ACPI.
        structure(0, 0x0000, 20,
                  [1, 2] + word(0xE000) + [3, 1] + qword(bios_characteristics()) + [0x01, 0x00],
                  ["innotek GmbH", "VirtualBox", "12/01/2006"]),
        # System Information: wake-up type 6 (power switch), no SKU, family.
        structure(1, 0x0001, 27,
                  [1, 2, 3, 4] + list(uuid) + [6, 0, 5],
                  ["innotek GmbH", "VirtualBox", "1.2", "0", "Virtual Machine"]),
        # Base Board: feature 0x01 (hosting board), chassis 0x0003, type 0x0A (motherboard).
        structure(2, 0x0008, 15,
                  [1, 2, 3, 4, 0, 0x01, 0] + word(0x0003) + [0x0A, 0],
                  ["Oracle Corporation", "VirtualBox", "1.2", "0"]),
        # Chassis: type 1 (other), states 3 (safe), security 3 (none).
        structure(3, 0x0003, 13,
                  [1, 0x01, 0, 0, 0, 3, 3, 3, 3],
                  ["Oracle Corporation"]),
        # Inactive structures (processor and memory records VirtualBox leaves switched off).
        structure(126, 0x0007, 42, [0] * 38),
        structure(126, 0x0005, 15, [0] * 11),
        structure(126, 0x0006, 28, [0] * 24),
        # OEM Strings: count 2, then VirtualBox's own two bytes (the string numbers).
        structure(11, 0x0002, 7, [2, 1, 2],
                  [f"vboxVer_{guest_version}", f"vboxRev_{guest_revision}"]),
        # VirtualBox's OEM-specific structure, bytes as dmidecode printed them.
        structure(128, 0x0008, 8, [0x3D, 0xA0, 0x2A, 0x00]),
        structure(127, 0xFEFF, 4, []),
    ]
    body = b"".join(structures)
    header = struct.pack("<BBBBI", 0, 2, 5, 0, len(body))
    return header + body


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--guest-version", default="6.1.4")
    parser.add_argument("--guest-revision", default="136177")
    args = parser.parse_args()
    data = table(args.guest_version, args.guest_revision)
    with open(args.output, "wb") as out:
        out.write(data)
    print(f"{args.output}: {len(data)} bytes", file=sys.stderr)


if __name__ == "__main__":
    main()
