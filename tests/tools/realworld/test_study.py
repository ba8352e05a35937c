"""The numbers users read: the study's summary, its one share, the sentence --explain
prints (toolkit/explain/StudyShares.h), and the converter's reading of firmware dates
and processor structures, each on small data checked by hand."""
import unittest

from realworld import firmware, sample, shares, study, study_docs
from realworld.report_profile import ACPI_READERS, convert
from test_converter import fixture, rows

GATE, QEMU, VBOX = "GeneralDetection.", "QemuDetection.", "VirtualBoxDetection."
STEPS = [GATE + "checkBiosSerialNumber", GATE + "checkConnectorCount", GATE + "checkSlotCount"]
CHECKS = [VBOX + "checkProcesses", VBOX + "checkRegistryKeys", VBOX + "checkRegistryValues", VBOX + "checkAcpiTables",
          QEMU + "checkSmbiosTable", QEMU + "checkAcpiTables"]
NO_ACPI = [GATE + "checkBiosSerialNumber", *ACPI_READERS]


def machine(hwid, gate=None, decided=None, signs=(), acpi=False, hypervisor=None):
    return {"hwid": hwid, "path": f"Desktop/V/F/M/{hwid}", "formFactor": "Desktop", "vendor": "V", "model": "M",
            "acpi": acpi, "hypervisor": hypervisor, "type": 3 if decided else 1, "name": decided.split("Detection")[0] if decided else "",
            "gate": gate and GATE + gate, "decidedBy": decided, "signs": list(signs),
            "notMeasurable": [] if acpi else NO_ACPI}


RESULTS = [
    machine("A"),
    # Without its tables: QEMU's ACPI sign here rests on the assumed tables and is not counted.
    machine("B", "checkSlotCount", signs=[GATE + "checkSlotCount", QEMU + "checkAcpiTables"]),
    machine("C", "checkConnectorCount", QEMU + "checkSmbiosTable", acpi=True,
            signs=[GATE + "checkConnectorCount", GATE + "checkSlotCount", QEMU + "checkSmbiosTable"]),
    # Decided before any check that reads the tables: they could not change it.
    machine("D", "checkSlotCount", VBOX + "checkProcesses", signs=[GATE + "checkSlotCount", VBOX + "checkProcesses"]),
    # Decided by the first check that reads them: the real tables could have VirtualBox's keys or not.
    machine("G", "checkSlotCount", VBOX + "checkRegistryKeys", signs=[GATE + "checkSlotCount"]),
    machine("E", "checkSlotCount", signs=[GATE + "checkSlotCount"], hypervisor="KVM"),
    {"hwid": "F", "path": "Desktop/V/F/M/F", "formFactor": "Desktop", "vendor": "V", "model": "M", "acpi": False,
     "hypervisor": None, "error": "dmidecode: no table"},
]
FAMILY = {"Desktop/V/F/M/E": {"tables": "qemu-pc-seabios-tcg", "type": 3, "name": "Qemu", "gate": GATE + "checkSlotCount",
                              "decidedBy": QEMU + "checkAcpiTables"}}


class SummaryTest(unittest.TestCase):
    def setUp(self):
        self.summary = study_docs.summarise(RESULTS, STEPS, CHECKS, {"date": "2026-01-01"}, FAMILY)

    def test_counts(self):
        s = self.summary
        self.assertEqual(s["reports"], {"read": 7, "withAcpi": 1, "converted": 6, "broken": 1, "physical": 5,
                                        "virtual": 1})
        self.assertEqual((s["gateOpens"], s["gateOpenedBy"]), (4, {STEPS[0]: 0, STEPS[1]: 1, STEPS[2]: 3}))
        self.assertEqual(s["generalSteps"], {STEPS[0]: 0, STEPS[1]: 1, STEPS[2]: 4})
        self.assertEqual(s["productChecks"][QEMU + "checkAcpiTables"], 0)
        self.assertEqual(s["productChecks"][QEMU + "checkSmbiosTable"], 1)
        self.assertEqual(s["productsClaimed"], {"Qemu": 1, "VirtualBox": 2})
        self.assertEqual(s["notMeasurable"][QEMU + "checkAcpiTables"], 4)
        self.assertEqual([b["hwid"] for b in s["broken"]], ["F"])

    def test_verdicts_the_real_tables_could_change(self):
        # B and G: gate open, no tables, nothing decided before the checks that read them. C has its
        # tables, D was decided first, A's gate is shut.
        self.assertEqual(self.summary["openToRealTables"], 2)
        self.assertEqual(self.summary["virtualMachines"], [{
            "hwid": "E", "path": "Desktop/V/F/M/E", "hypervisor": "KVM", "acpi": False, "type": 1, "name": "",
            "gate": GATE + "checkSlotCount", "decidedBy": None, "openToRealTables": True,
            "withFamilyTables": FAMILY["Desktop/V/F/M/E"]}])

    def test_page_reads_one_kind_of_share(self):
        page = study_docs.render(self.summary, RESULTS, ["one assumption"])
        for line in ["- `checkSlotCount` opens the gate on 60.0% and `checkConnectorCount` opens the gate on 20.0% "
                     "of the physical machines: together 100.0% of the machines on which the gate opens",
                     "| `QemuDetection.checkSmbiosTable` | 1 | 5 | 20.0% |",
                     "2 physical machines (40.0%) came without ACPI tables and have the gate open",
                     "| none (1), *could change* | `checkSlotCount` | - | Qemu (3), `QemuDetection.checkAcpiTables` "
                     "(`qemu-pc-seabios-tcg`) |"]:
            with self.subTest(line):
                self.assertIn(line, page)


class SlicesTest(unittest.TestCase):
    def test_slices_join_in_path_order(self):
        # The first slice was stopped after it passed the second's start (--skip 2): its third is the second's.
        first = ({"date": "d", "stopped": True}, [{"path": p} for p in ("c", "a", "b")])
        second = ({"date": "d", "skip": 2, "seconds": 9}, [{"path": p} for p in ("c", "d")])
        run, results = study.join_results([first, second])
        self.assertEqual([e["path"] for e in results], ["a", "b", "c", "d"])
        self.assertEqual(run, {"date": "d", "slices": 2})
        with self.assertRaises(SystemExit):  # a slice stopped before the next one's start leaves a gap
            study.join_results([({"stopped": True}, [{"path": "a"}]), second])


class ShareTest(unittest.TestCase):
    def test_one_rounding(self):
        for count, total, text in [(0, 0, "-"), (0, 5, "0.0%"), (1, 3, "33.3%"), (2, 3, "66.7%"),
                                   (1, 1000, "0.1%"), (1, 2000, "0.05%"), (5, 162829, "0.0031%")]:
            with self.subTest(f"{count}/{total}"):
                self.assertEqual(study_docs.share(count, total), text)

    def test_explain_sentence_from_the_study(self):
        study = {"reports": {"physical": 2000}, "notMeasurable": {GATE + "checkBiosSerialNumber": 1950},
                 "generalSteps": {GATE + "checkSlotCount": 250, GATE + "checkBiosSerialNumber": 1}}
        header = shares.render(study)
        self.assertIn('{"checkSlotCount", 250, 2000, "shows on 12.5% of 2,000 physical machines in the '
                      'firmware-report study"},', header)
        self.assertIn('{"checkBiosSerialNumber", 1, 50, "shows on 2.0% of 50 physical machines', header)


class FirmwareReadingTest(unittest.TestCase):
    def test_release_dates(self):
        # (the report's date, Win32_BIOS.ReleaseDate, SystemBiosDate, what the profile's source says)
        cases = [("12/03/2020", "20201203000000.000000+000", "12/03/20", None),
                 ("01/02/03", "20030102000000.000000+000", "01/02/03", None),
                 ("29/12/2019", "20191229000000.000000+000", "12/29/19", "BIOS date 29/12/2019 read day first"),
                 ("45/45/2019", None, None, "BIOS date 45/45/2019 is no date: ReleaseDate null")]
        for text, wmi, registry, note in cases:
            with self.subTest(text):
                profile = convert(fixture("01D1BC7CD1B7", dmidecode=lambda t: t.replace("12/03/2020", text, 1)))
                self.assertEqual(rows(profile, "Win32_BIOS")[0]["ReleaseDate"], wmi)
                system = next(k for k in profile["registry"] if k["path"] == "HARDWARE\\Description\\System")
                dates = [v["data"] for v in system["values"] if v["name"] == "SystemBiosDate"]
                self.assertEqual(dates, [registry] if registry else [])
                self.assertEqual(note in profile["source"] if note else "BIOS date" in profile["source"], bool(note))

    def test_processor_marked_unpopulated(self):
        # A processor the firmware calls unpopulated but gives a real ID is the one the machine ran on.
        for status, id_, expected in [("Unpopulated", "EB 06 09 00 FF FB EB BF", "BFEBFBFF000906EB"),
                                      ("Unpopulated", "00 00 00 00 00 00 00 00", None),
                                      ("Populated, Enabled", "00 00 00 00 00 00 00 00", "0000000000000000")]:
            with self.subTest(f"{status}, {id_}"):
                edit = lambda t: t.replace("Status: Populated, Enabled", f"Status: {status}").replace(  # noqa: E731
                    "ID: EB 06 09 00 FF FB EB BF", f"ID: {id_}")
                self.assertEqual(rows(convert(fixture("01D1BC7CD1B7", dmidecode=edit)), "Win32_Processor")[0]
                                 ["ProcessorId"], expected)

    def test_booted_firmware_tells_its_hypervisor(self):
        # Bochs' own BIOS calls itself "The Bochs Project"; the disguised QEMU passes for a physical desktop.
        kinds = {name: sample.virtual_machine_kind(report) for name, _, report in firmware.configurations()}
        expected = {name: "QEMU" for name in kinds if name.startswith("qemu-")}
        expected.update({"qemu-q35-seabios-disguised-tcg": None, "bochs-bios": "Bochs"})
        self.assertEqual(kinds, {name: expected[name] for name in kinds})
        self.assertIn("bochs-bios", kinds)


if __name__ == "__main__":
    unittest.main()
