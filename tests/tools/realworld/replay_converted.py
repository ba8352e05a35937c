"""Converts real reports and replays them with corvane-vmd: the profiles the
converter writes load, and give the verdicts worked out by hand. The reports
are those of real machines (tests/fixtures/realworld) and of the hypervisor
firmware booted here (tests/fixtures/hypervisor-firmware), each of those also
replayed with the assumed machine's ACPI tables in place of its own.

    replay_converted.py WORK_DIR EMULATOR... CORVANE_VMD_EXE
"""
import json
import os
import subprocess
import sys

from realworld import firmware
from realworld.report_profile import convert
from test_converter import fixture

QEMU = "QemuDetection"


def verdict(type_, gate, decided_by):
    return {"type": type_, "gate": gate and f"GeneralDetection.{gate}", "decidedBy": decided_by}


def real_machines():
    yield ("21DF07AF3421", fixture("21DF07AF3421", "Notebook/Sony/SVF1521/SVF15212CXW"),
           # No port connector and no slot open the gate; QEMU's case-sensitive SMBIOS search then
           # finds "qemu" inside an OEM string.
           verdict(3, "checkPhysicalConnectorCount", f"{QEMU}.checkSmbiosTable"))
    yield ("9112EC3CC44C", fixture("9112EC3CC44C", "Desktop/Optimized Hosting/KVM/KVM"),
           # A KVM guest: no cache structure opens the gate, QEMU's name in the processor structure decides.
           verdict(3, "checkCacheMemoryCount", f"{QEMU}.checkSmbiosTable"))


# Each booted configuration: (verdict with its own tables, verdict with the assumed machine's tables).
# QEMU's own SMBIOS names QEMU as the system's maker, which opens the gate and decides, tables or not.
QEMU_BY_NAME = (verdict(3, "checkComputerSystemManufacturer", f"{QEMU}.checkSmbiosTable"),) * 2
# With no QEMU in the SMBIOS (disguised, or Bochs' BIOS), no cache structure opens the gate and only
# the "BOCH" of the ACPI tables' OEM ID decides: without them, no product is found.
BY_ACPI_ALONE = (verdict(3, "checkCacheMemoryCount", f"{QEMU}.checkAcpiTables"),
                 verdict(1, "checkCacheMemoryCount", None))
FIRMWARE = {
    "qemu-pc-seabios-tcg": QEMU_BY_NAME,
    "qemu-q35-seabios-tcg": QEMU_BY_NAME,
    "qemu-pc-ovmf-tcg": QEMU_BY_NAME,
    "qemu-q35-ovmf-tcg": QEMU_BY_NAME,
    "qemu-pc-seabios-kvm": QEMU_BY_NAME,
    "qemu-q35-seabios-kvm": QEMU_BY_NAME,
    "qemu-q35-seabios-disguised-tcg": BY_ACPI_ALONE,
    "bochs-bios": BY_ACPI_ALONE,
}


def firmware_reports():
    booted = firmware.configurations()
    if sorted(name for name, _, _ in booted) != sorted(FIRMWARE):
        raise SystemExit(f"booted configurations {sorted(n for n, _, _ in booted)} are not those of FIRMWARE")
    for name, _, report in booted:
        own, assumed = FIRMWARE[name]
        yield name, report, own
        yield f"{name} without its ACPI tables", firmware.without_tables(report), assumed


def main(work, command):
    os.makedirs(work, exist_ok=True)
    failures = 0
    for label, report, expected in [*real_machines(), *firmware_reports()]:
        name = os.path.join(work, "profile.json")
        with open(name, "w", encoding="utf-8") as f:
            json.dump(convert(report), f)
        done = subprocess.run(command + ["replay", name, "--explain", "--json"], cwd=work, capture_output=True,
                              text=True)
        try:
            answer = json.loads(done.stdout)
            got = {"type": answer["verdict"]["type"], "gate": answer["gate"], "decidedBy": answer["decidedBy"]}
        except (ValueError, KeyError, TypeError):
            got = {"exit": done.returncode, "stdout": done.stdout[:200], "stderr": done.stderr[:200]}
        if got != expected:
            failures += 1
            print(f"{label}: expected {expected}, got {got}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], [arg for arg in sys.argv[2:] if arg]))
