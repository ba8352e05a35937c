"""`firmware`: the rules on the hypervisor firmware booted here
(tools/boot-hypervisor-firmware.py, reports in tests/fixtures/hypervisor-firmware/),
each report converted exactly as the study converts a collection's report and
replayed with `--explain --json`, once with its own ACPI tables and once with the
assumed machine's in their place; written as docs/hypervisor-firmware.md.

    tools/realworld-study firmware --exe corvane-vmd.exe [--run wine] [--check]

The same reports give the study, for each virtual machine of the collection that
came without its ACPI tables, the verdict with its hypervisor family's own tables.
"""

import argparse
import json
import os
import pathlib
import subprocess
import tempfile

from generated_doc import write_or_check

from . import sample
from .report_profile import convert
from .reports import Report

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
FIXTURES = ROOT / "tests" / "fixtures" / "hypervisor-firmware"
SAMPLE = ROOT / "tests" / "fixtures" / "realworld" / "sample" / sample.ARCHIVE
OUTPUT = ROOT / "docs" / "hypervisor-firmware.md"
SCRIPT = "tools/realworld-study firmware"

# The booted configuration whose tables stand for each hypervisor family the collection's reports name.
FAMILY_TABLES = {"QEMU": "qemu-pc-seabios-tcg", "KVM": "qemu-pc-seabios-tcg", "Bochs": "bochs-bios"}

# Products whose firmware Debian does not ship, and the corpus profiles that stand in for them.
NOT_BOOTABLE = [("VirtualBox", "virtualbox"), ("VMware", "vmware"), ("Hyper-V", "hyperv"),
                ("Parallels", "parallels"), ("Xen", "xen")]


def _facts(path):
    facts = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        key, _, value = line.partition(": ")
        facts.setdefault(key, value)
    return facts


def failures():
    """(name, facts) of every configuration the boot script could not get a report from, and why."""
    return [(path.stem, _facts(path)) for path in sorted(FIXTURES.glob("*.failed"))]


def configurations():
    """(name, provenance lines as a dict, Report) of every booted configuration, by name."""
    found = []
    for dmi in sorted(FIXTURES.glob("*.dmidecode")):
        name = dmi.stem
        acpi = FIXTURES / f"{name}.acpidump"
        facts = _facts(FIXTURES / f"{name}.provenance")
        report = Report(name, f"Virtual/{facts.get('firmware family', '')}/{name}/{name}/{name}", "Virtual",
                        facts.get("firmware family", ""), name, dmi.read_text(encoding="utf-8"),
                        acpi.read_text(encoding="utf-8") if acpi.exists() else None)
        found.append((name, facts, report))
    return found


def without_tables(report):
    return Report(report.hwid, report.path, report.form_factor, report.vendor, report.model, report.dmidecode, None)


def with_tables_of(report, acpidump):
    return Report(report.hwid, report.path, report.form_factor, report.vendor, report.model, report.dmidecode,
                  acpidump)


def explain(command, report):
    """The `replay --explain --json` answer for the converted report."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "profile.json")
        with open(path, "w", encoding="utf-8") as file:
            json.dump(convert(report), file)
        done = subprocess.run(command + ["replay", path, "--explain", "--json"], capture_output=True,
                              encoding="utf-8", errors="replace")
    if done.returncode not in (0, 1):
        raise SystemExit(f"corvane-vmd replay failed ({done.returncode}): {done.stderr.strip()}")
    return json.loads(done.stdout)


def outcome(answer):
    """What a page or a test states of one replay: verdict, gate, deciding check, the gate steps with a
    sign, and the deciding check's artefacts."""
    steps, evidence = [], []
    for detector in answer["detectors"]:
        for check in detector["checks"]:
            name = f"{detector['detector']}.{check['check']}"
            if detector["role"] == "gate" and check["sign"]:
                steps.append(name)
            if name == answer["decidedBy"]:
                evidence = [f"{item['kind']}: {item['value']}" for item in check["evidence"]]
    return {"type": answer["verdict"]["type"], "name": answer["verdict"]["name"], "gate": answer["gate"],
            "decidedBy": answer["decidedBy"], "gateSigns": steps, "evidence": evidence}


def measure(command):
    """Every configuration with its own tables and with the assumed ones."""
    return [(name, facts, outcome(explain(command, report)), outcome(explain(command, without_tables(report))))
            for name, facts, report in configurations()]


def family_verdicts(command):
    """For each virtual machine of the committed sample (it holds every one of the collection) that came
    without its ACPI tables: the verdict with its family's tables, by report path."""
    tables = {name: report.acpidump for name, _, report in configurations()}
    verdicts = {}
    for report in sample.read_sample(str(SAMPLE)):
        kind = sample.virtual_machine_kind(report)
        if not kind or report.acpidump is not None or FAMILY_TABLES.get(kind) not in tables:
            continue
        got = outcome(explain(command, with_tables_of(report, tables[FAMILY_TABLES[kind]])))
        verdicts[report.path] = {"tables": FAMILY_TABLES[kind], "type": got["type"], "name": got["name"],
                                 "gate": got["gate"], "decidedBy": got["decidedBy"]}
    return verdicts


def _verdict(got):
    return f"{got['name'] or 'none'} ({got['type']})"


def _short(check):
    return f"`{check.split('.', 1)[1]}`" if check else "-"


def render(measured):
    out = ["# The rules on real hypervisor firmware\n",
           "Does a real virtual machine get recognised? Each row below is a firmware that Debian packages, booted "
           "on this project's own build machine by `tools/boot-hypervisor-firmware.py`: Debian's kernel and a "
           "busybox initramfs print `dmidecode` and `acpidump` and power off. Where KVM here cannot run a Linux "
           "kernel (a KVM without hardware virtualisation), the tables are read from guest memory once the "
           "firmware has handed over; Bochs, too slow to boot that kernel on this shared machine, starts a "
           "one-sector program that copies the same memory to its serial port. Either way `dmidecode` and "
           "`acpidump` themselves format the tables. The reports are committed in `tests/fixtures/hypervisor-firmware/`, each "
           "with its package versions and exact command line, and converted exactly as the "
           "[study of real machines](real-world.md) converts a report: the firmware facts come from the report, "
           "everything else (registry, files, processes, adapters, disks) from the same assumed plain Windows "
           "machine, which has no guest tools. The verdicts therefore rest on the firmware alone.\n",
           "This file is generated by `tools/realworld-study firmware`; `hypervisor_firmware_current` keeps it "
           "current and `realworld_replay` holds each verdict.\n",
           "## Verdicts\n",
           "| Configuration | Firmware | Verdict | Gate steps with a sign | Deciding check | Its artefacts | "
           "Without the ACPI tables |",
           "|---|---|---|---|---|---|---|"]
    for name, facts, own, assumed in measured:
        steps = ", ".join(_short(step) + (" (opens the gate)" if step == own["gate"] else "")
                          for step in own["gateSigns"]) or "none"
        artefacts = "; ".join(f"`{item}`" for item in own["evidence"]) or "-"
        if (assumed["type"], assumed["decidedBy"]) == (own["type"], own["decidedBy"]):
            change = "the same"
        else:
            change = f"{_verdict(assumed)}, {_short(assumed['decidedBy']) if assumed['decidedBy'] else 'no check decides'}"
        out.append(f"| `{name}` ({facts.get('what', '')}; read {facts.get('read', '')}) | {facts.get('firmware family', '')} | "
                   f"**{_verdict(own)}** | {steps} | {_short(own['decidedBy'])} | {artefacts} | {change} |")
    out.append("")
    out.append("\"Without the ACPI tables\" replays the same report with the assumed machine's tables (an AMI "
               "firmware's, as the study gives every report that comes without an acpidump): what the verdict "
               "would be if only the SMBIOS table were known.\n")
    out.append("KVM here is a software KVM without hardware virtualisation: it runs the firmware but not Linux, so "
               "its rows are read from guest memory. Their tables are those of the same configuration under TCG but "
               "for the FADT, whose SMI command port and ACPI enable and disable values are zero under this KVM.\n")
    gone = failures()
    if gone:
        out.append("## Configurations without a report\n")
        out.append("| Configuration | Firmware | Why |")
        out.append("|---|---|---|")
        for name, facts in gone:
            out.append(f"| `{name}` ({facts.get('what', '')}) | {facts.get('firmware family', '')} | "
                       f"{facts.get('failure', '')} |")
        out.append("")
    out.append("## Products that cannot be booted here\n")
    out.append("VirtualBox, VMware, Hyper-V, Parallels and Xen: Debian ships no firmware of theirs, so none of them "
               "is measured on this page. Their verdicts are held by the corpus profiles, written from what their "
               "guests show:\n")
    profiles = ROOT / "tests" / "fixtures" / "profiles"
    for product, folder in NOT_BOOTABLE:
        count = len(list((profiles / folder).glob("*.json")))
        out.append(f"- {product}: `tests/fixtures/profiles/{folder}/` ({count} profiles)")
    out.append("")
    out.append("## Run it again\n")
    out.append("```sh\ntools/boot-hypervisor-firmware.py tests/fixtures/hypervisor-firmware  # apt-get, then one boot "
               "at a time\ntools/realworld-study firmware --run wine --exe build/cli/corvane-vmd.exe\n```\n")
    return "\n".join(out)


def main(argv):
    parser = argparse.ArgumentParser(prog="realworld-study firmware")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--run", default="")
    parser.add_argument("--check", action="store_true")
    arguments = parser.parse_args(argv)
    command = ([arguments.run] if arguments.run else []) + [arguments.exe]
    return write_or_check(OUTPUT, render(measure(command)), SCRIPT, arguments.check)
