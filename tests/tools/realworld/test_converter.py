"""The report converter on real reports of linuxhw/DMI and linuxhw/ACPI
(tests/fixtures/realworld/PROVENANCE), each result checked by hand against
the report's text."""
import base64
import os
import struct
import subprocess
import tempfile
import unittest

from realworld import sample
from realworld.report_profile import ACPI_READERS, ReportError, convert, not_measurable
from realworld.reports import Report, iter_reports

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
FIXTURES = os.path.join(ROOT, "tests", "fixtures", "realworld")


def fixture(hwid, path="Desktop/Vendor/Family/Model", dmidecode=None, acpidump=None):
    with open(os.path.join(FIXTURES, hwid + ".dmidecode"), encoding="utf-8") as f:
        text = f.read() if dmidecode is None else dmidecode(f.read())
    acpi = os.path.join(FIXTURES, hwid + ".acpidump")
    if acpidump is None and os.path.exists(acpi):
        with open(acpi, encoding="utf-8") as f:
            acpidump = f.read()
    form_factor, vendor, _, model = path.split("/")
    return Report(hwid, f"{path}/{hwid}", form_factor, vendor, model, text, acpidump or None)


def rows(profile, name):
    return next(c["rows"] for c in profile["wmi"]["classes"] if c["name"] == name)


def rsmb(profile):
    return base64.b64decode(profile["firmware"]["rawSmbios"]["base64"])


def structures(table):
    """(type, handle, formatted area, strings block) of each structure of an RSMB table."""
    at, found = 8, []
    while at < len(table):
        kind, length, handle = table[at], table[at + 1], struct.unpack_from("<H", table, at + 2)[0]
        end = table.index(b"\0\0", at + length) + 2
        found.append((kind, handle, table[at:at + length], table[at + length:end]))
        at = end
    return found


class RawSmbiosTest(unittest.TestCase):
    """The rebuilt RSMB table, structure by structure, against the bytes worked out by hand."""

    def test_structures_checked_by_hand(self):
        table = rsmb(convert(fixture("01D1BC7CD1B7")))
        # SMBIOS 3.1.1: Used20CallingMethod 0, version 3.1, DMI revision 1, then the length.
        self.assertEqual(table[:4], bytes([0, 3, 1, 1]))
        self.assertEqual(struct.unpack_from("<I", table, 4)[0], len(table) - 8)
        by_handle = {handle: (kind, area + tail) for kind, handle, area, tail in structures(table)}
        cases = [
            # System Boot Information, 20 bytes and no strings: two NULs close it.
            ("no strings", 0x001F, "20 14 1F 00" + " 00" * 16 + " 00 00"),
            # Port connector: internal designator (string 1) at 04h, external (string 2) at 06h.
            ("decoded strings", 0x0004, "08 09 04 00 01 00 02 00 00" + " " + b"J1A1\0PS2Mouse\0\0".hex()),
            # OEM type 221: the dumped bytes as they stand, then its strings.
            ("hex dump and strings", 0x0041,
             "DD 21 41 00 04 01 00 03 06 07 00 00 02 00 00 00 00 CA 00 03 00 00 05 00 00 00 04 00 FF FF FF FF FF "
             + b"Reference Code - CPU\0uCode Version\0TXT ACM Version\0BIOS Guard Version\0\0".hex()),
            ("hex dump without strings", 0x003E,
             "82 14 3E 00 24 41 4D 54 00 00 00 00 00 A5 AF 02 C0 00 00 00 00 00"),
        ]
        for name, handle, expected in cases:
            with self.subTest(name):
                self.assertEqual(by_handle[handle][1].hex(" ").upper(), bytes.fromhex(expected).hex(" ").upper())

    def test_structure_dmidecode_prints_nothing_for(self):
        # A Dell OptiPlex GX240 lists a 4-byte type 10 between others: a bare header, not a cut.
        bare = "Handle 0x0A01, DMI type 10, 4 bytes\n\n"
        report = fixture("01D1BC7CD1B7", dmidecode=lambda text: text.replace("Handle 0x0004", bare + "Handle 0x0004"))
        found = {handle: area + tail for _, handle, area, tail in structures(rsmb(convert(report)))}
        self.assertEqual(found[0x0A01], bytes.fromhex("0A 04 01 0A 00 00"))

    def test_strings_sit_where_windows_reads_them(self):
        table = rsmb(convert(fixture("01D1BC7CD1B7")))
        found = {kind: (area, tail.split(b"\0")) for kind, _, area, tail in reversed(structures(table))}
        cases = [  # (type, offset of the index byte, the string dmidecode printed)
            (0, 0x04, b"American Megatrends, Inc."), (0, 0x05, b"5.12"), (0, 0x08, b"12/03/2020"),
            (1, 0x04, b"3Logic Group"), (1, 0x05, b"Graviton M50"), (1, 0x19, b"M50"), (1, 0x1A, b"Graviton"),
            (2, 0x05, b"DMB-H310-TMI01"), (4, 0x07, b"Intel(R) Corporation"),
            (17, 0x10, b"ChannelA-DIMM0"), (17, 0x1A, b"D22.2356US.001      "),
        ]
        for kind, offset, text in cases:
            with self.subTest(kind=kind, offset=offset):
                area, strings = found[kind]
                self.assertEqual(strings[area[offset] - 1], text)
        # Type 1's serial number is anonymised: it is kept as the report gives it.
        self.assertEqual(found[1][1][found[1][0][0x07] - 1], b"--")

    def test_oem_string_naming_a_hypervisor_reaches_the_table(self):
        # The Sony VAIO's third OEM string holds "qemu" by chance; it must sit in
        # a type 11 structure, unchanged, for the byte-pattern checks to see it.
        table = rsmb(convert(fixture("21DF07AF3421", "Notebook/Sony/SVF1521/SVF15212CXW")))
        oem = [tail for kind, _, area, tail in structures(table) if kind == 11]
        self.assertEqual(len(oem), 1)
        self.assertIn(b"BRFE3AYViXrBqemuc2ih33YO62iCEBYOAmmCE1WhQmmKMvWW5Y\0", oem[0])
        self.assertEqual(table.count(b"qemu"), 1)


class WmiMappingTest(unittest.TestCase):
    def test_classes_read_from_a_whole_report(self):
        profile = convert(fixture("01D1BC7CD1B7"))
        cases = [
            ("Win32_BIOS", "Manufacturer", "American Megatrends, Inc."),
            ("Win32_BIOS", "SerialNumber", "--"),
            ("Win32_BIOS", "ReleaseDate", "20201203000000.000000+000"),
            ("Win32_ComputerSystem", "Manufacturer", "3Logic Group"),
            ("Win32_ComputerSystem", "Model", "Graviton M50"),
            ("Win32_BaseBoard", "Product", "DMB-H310-TMI01"),
            # ID: EB 06 09 00 FF FB EB BF -> EDX then EAX, as sixteen hex digits.
            ("Win32_Processor", "ProcessorId", "BFEBFBFF000906EB"),
        ]
        for name, prop, value in cases:
            with self.subTest(f"{name}.{prop}"):
                self.assertEqual(rows(profile, name)[0][prop], value)
        # 3 caches; 2 memory devices, one empty; 1 array and 1 device mapping; 24 ports, 4 slots. Only the
        # caches are CIM_Memory: the SMBIOS memory classes derive from CIM_StorageExtent beside it.
        counts = [
            ("Win32_CacheMemory", 3), ("Win32_PhysicalMemory", 1), ("Win32_SMBIOSMemory", 2), ("CIM_Memory", 3),
            ("CIM_PhysicalConnector", 28), ("CIM_Slot", 4)]
        for name, count in counts:
            with self.subTest(name):
                self.assertEqual(len(rows(profile, name)), count)
        # 8192 MB installed, less the legacy hole below 1 MiB that Windows never counts.
        self.assertEqual(profile["system"]["totalPhysicalMemory"], (8 << 30) - 0x60000)
        # Anonymised serial, and no acpidump: the checks that read the ACPI tables are not measured.
        self.assertEqual(not_measurable(fixture("01D1BC7CD1B7")),
                         ["GeneralDetection.checkBiosSerialNumber", *ACPI_READERS])

    def test_report_without_memory_devices(self):
        # A Pine64 board: U-Boot's SMBIOS has no processor, cache, memory or connector structure.
        profile = convert(fixture("8D65E4334124", "System On Chip/Pine Microsystems/Pine64/Pine64 RockPro64 v2.1"))
        for name in ("Win32_PhysicalMemory", "Win32_CacheMemory", "Win32_SMBIOSMemory", "CIM_PhysicalConnector"):
            with self.subTest(name):
                self.assertEqual(rows(profile, name), [])
        self.assertEqual(rows(profile, "Win32_Processor"), [{"Name": None, "ProcessorId": None}])
        self.assertIsNone(rows(profile, "Win32_ComputerSystem")[0]["Manufacturer"])  # "Not Specified"
        self.assertIn("memory from assumed", profile["source"])
        self.assertIn("DMI table is broken", profile["source"])

    def test_memory_within_the_legacy_hole_is_not_a_figure(self):
        # Some boards describe a few hundred KiB: the next source is asked, never a negative total.
        tiny = lambda text: text.replace("Size: 8192 MB", "Size: 256 kB").replace("Range Size: 8 GB", "Range Size: 384 kB")  # noqa: E731
        profile = convert(fixture("01D1BC7CD1B7", dmidecode=tiny))
        self.assertIn("memory from assumed", profile["source"])
        self.assertGreater(profile["system"]["totalPhysicalMemory"], 1 << 30)

    def test_serial_that_is_not_anonymised_is_measurable(self):
        report = fixture("9112EC3CC44C", dmidecode=lambda text: text.replace("Serial Number: --", "Serial Number: 0", 1))
        self.assertEqual(not_measurable(report), [])
        self.assertEqual(rows(convert(report), "Win32_BIOS")[0]["SerialNumber"], "0")


class AcpiTest(unittest.TestCase):
    def test_tables_rebuilt_byte_for_byte(self):
        report = fixture("9112EC3CC44C", "Desktop/Optimized Hosting/KVM/KVM")
        tables = convert(report)["firmware"]["acpiTables"]
        names = [line.split(" @")[0] for line in report.acpidump.splitlines() if " @ 0x" in line]
        self.assertEqual([t["id"] for t in tables], names)
        for table in tables:
            data = base64.b64decode(table["data"]["base64"])
            with self.subTest(table["id"]):
                self.assertEqual(data[:4].decode(), table["id"])
                if table["id"] != "FACS":  # the one table without a checksum
                    self.assertEqual(struct.unpack_from("<I", data, 4)[0], len(data))
                    self.assertEqual(sum(data) % 256, 0, "checksum")
        keys = {k["path"] for k in convert(report)["registry"]}
        self.assertIn("HARDWARE\\ACPI\\DSDT\\BOCHS_\\BXPC____\\00000001", keys)

    def test_rsdp_is_no_table_whatever_the_dump_calls_it(self):
        rsdp = ("RSD  @ 0x000000009FBFE014\n"
                "  0000: 52 53 44 20 50 54 52 20 6D 54 4F 53 49 4E 56 02  RSD PTR mTOSINV.\n"
                "  0010: C4 70 BC 9F 24 00 00 00 88 71 BC 9F 00 00 00 00  .p..$....q......\n"
                "  0020: 88 00 00 00                                      ....\n\n")
        plain = fixture("9112EC3CC44C", "Desktop/Optimized Hosting/KVM/KVM")
        with_rsdp = fixture("9112EC3CC44C", "Desktop/Optimized Hosting/KVM/KVM", acpidump=rsdp + plain.acpidump)
        self.assertEqual(convert(with_rsdp)["firmware"], convert(plain)["firmware"])

    def test_report_without_acpidump_takes_the_assumed_tables(self):
        profile = convert(fixture("01D1BC7CD1B7"))
        self.assertEqual([t["id"] for t in profile["firmware"]["acpiTables"]],
                         ["FACP", "APIC", "DSDT", "SSDT", "MCFG", "HPET"])
        self.assertIn("ACPI tables assumed", profile["source"])


class BrokenReportTest(unittest.TestCase):
    """Broken and cut reports are named, one line each, never a crash."""

    def test_broken_reports(self):
        cut_in_dump = lambda text: text[:text.index("82 14 3E 00") + 30]  # noqa: E731
        with open(os.path.join(FIXTURES, "9112EC3CC44C.acpidump"), encoding="utf-8") as f:
            acpidump = f.read()
        cut_between_lines = acpidump[:acpidump.rindex("\n", 0, 3000) + 1]
        cut_in_line = acpidump[:acpidump.rindex("\n", 0, 3000) + 12]
        cases = [
            ("empty", fixture("01D1BC7CD1B7", dmidecode=lambda text: ""), "empty report"),
            ("no table", fixture("01D1BC7CD1B7", dmidecode=lambda text: "# dmidecode 3.3\n"
                                 "# No SMBIOS nor DMI entry point found, sorry.\n"), "no SMBIOS table"),
            ("table ends inside a structure", fixture("92FDA8765743"), "ends inside this structure"),
            ("report cut in a hex dump", fixture("01D1BC7CD1B7", dmidecode=cut_in_dump), "bytes dumped of 20"),
            ("report cut after a header", fixture("01D1BC7CD1B7", dmidecode=lambda text: text[:text.index(
                "Handle 0x0004") + 35]), "ends inside the structure"),
            ("acpidump cut between lines", fixture("9112EC3CC44C", acpidump=cut_between_lines), "announced"),
            ("acpidump cut in a line", fixture("9112EC3CC44C", acpidump=cut_in_line), "unreadable line"),
        ]
        for name, report, message in cases:
            with self.subTest(name):
                with self.assertRaises(ReportError) as raised:
                    convert(report)
                self.assertIn(message, str(raised.exception))
                self.assertNotIn("\n", str(raised.exception))


class RepositoryTest(unittest.TestCase):
    """iter_reports over throw-away clones laid out as linuxhw/DMI and linuxhw/ACPI."""

    @staticmethod
    def git(*args, cwd):
        subprocess.run(["git", "-c", "user.name=t", "-c", "user.email=t@t", *args], cwd=cwd, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def make_repo(self, root, files):
        os.makedirs(root)
        self.git("init", "-q", cwd=root)
        for path, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                f.write(text)
        self.git("add", "-A", cwd=root)
        self.git("commit", "-qm", "reports", cwd=root)

    def test_reads_reports_and_joins_acpi_by_hardware_id(self):
        with tempfile.TemporaryDirectory() as tmp:
            odd = 'Notebook/Vendor "Q"/Famille/Modèl ±1/BBBBBBBBBBBB'
            self.make_repo(f"{tmp}/dmi", {"README.md": "x", "Desktop/README.md": "x",
                                          "Desktop/V/F/M/AAAAAAAAAAAA": "dmi a", odd: "dmi b"})
            self.make_repo(f"{tmp}/acpi", {"Other/Path/M/BBBBBBBBBBBB.bin": "acpi b",
                                           "Other/Path/M/BBBBBBBBBBBB": "listing"})
            self.git("clone", "-q", "--bare", f"{tmp}/dmi", f"{tmp}/dmi.git", cwd=tmp)
            for clone in ("dmi", "dmi.git"):
                with self.subTest(clone):
                    got = [(r.path, r.form_factor, r.vendor, r.model, r.hwid, r.dmidecode, r.acpidump)
                           for r in iter_reports(f"{tmp}/{clone}", f"{tmp}/acpi")]
                    self.assertEqual(got, [
                        ("Desktop/V/F/M/AAAAAAAAAAAA", "Desktop", "V", "M", "AAAAAAAAAAAA", "dmi a", None),
                        (odd, "Notebook", 'Vendor "Q"', "Modèl ±1", "BBBBBBBBBBBB", "dmi b", "acpi b")])
            self.assertEqual(len(list(iter_reports(f"{tmp}/dmi", None, limit=1))), 1)


class SampleTest(unittest.TestCase):
    def test_every_virtual_machine_and_every_kind_of_finding_is_chosen(self):
        results = [{"machine": f"plain{n}", "type": 1, "name": "", "gate": None, "decidedBy": None, "signs": []}
                   for n in range(50)]
        results += [{"machine": f"slots{n}", "type": 1, "name": "", "gate": "GeneralDetection.checkSlotCount",
                     "decidedBy": None, "signs": ["GeneralDetection.checkSlotCount"]} for n in range(20)]
        results += [{"machine": "rare", "type": 3, "name": "Qemu", "gate": "GeneralDetection.checkSlotCount",
                     "decidedBy": "QemuDetection.checkSmbiosTable",
                     "signs": ["GeneralDetection.checkSlotCount", "QemuDetection.checkSmbiosTable"]},
                    {"machine": "broken", "error": "dmidecode: handle 0x0012: 3 bytes dumped of 20 announced"},
                    {"machine": "vm", "type": 1, "name": "", "gate": None, "decidedBy": None, "signs": []}]
        chosen = sample.select_sample(results, virtual=["vm"], per_kind=2, size=10)
        for machine in ("rare", "broken", "vm"):
            self.assertIn(machine, chosen)
        self.assertEqual(sum(m.startswith("slots") for m in chosen), 2)
        self.assertEqual(len(chosen), 10)
        self.assertEqual(chosen, sample.select_sample(reversed(results), virtual=["vm"], per_kind=2, size=10))

    def test_written_sample_reads_back(self):
        reports = [fixture("9112EC3CC44C", "Desktop/Optimized Hosting/KVM/KVM"), fixture("01D1BC7CD1B7")]
        self.assertEqual([sample.virtual_machine_kind(r) for r in reports], ["KVM", None])
        with tempfile.TemporaryDirectory() as tmp:
            path = sample.write_sample(reports, [reports[0].path], tmp, {"linuxhw/DMI": "c0ffee"})
            self.assertEqual(list(sample.read_sample(path)), [reports[0]])
            with open(os.path.join(tmp, "PROVENANCE"), encoding="utf-8") as f:
                self.assertIn("CC-BY-4.0", f.read())


if __name__ == "__main__":
    unittest.main()
