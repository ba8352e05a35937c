"""Chooses and stores the sample of real reports the tests replay: every
virtual machine of the dataset, and for every kind of result the study found
(each sign, gate, deciding check, verdict and kind of broken report) a few of
the reports that show it, topped up with plain physical machines.

    chosen = select_sample(results, virtual={...})
    write_sample(iter_reports(dmi, acpi), chosen, "tests/fixtures/realworld/sample", commits)
    for report in read_sample("tests/fixtures/realworld/sample/reports.tar.xz"): ...
"""
from __future__ import annotations

import hashlib
import io
import os
import re
import tarfile
from typing import Iterable, Iterator, Optional

from . import dmidecode
from .reports import Report

ARCHIVE = "reports.tar.xz"
SIZE_LIMIT = 2 * 1000 * 1000

# What the SMBIOS of a virtual machine calls itself: (structure type, label, pattern, product).
_VIRTUAL_SIGNS = [
    (1, "Manufacturer", r"^QEMU$", "QEMU"),
    (1, "Product Name", r"^Standard PC \(", "QEMU"),
    (1, "Manufacturer", r"^Bochs$", "Bochs"),
    (0, "Vendor", r"^Bochs$", "Bochs"),
    (0, "Vendor", r"^The Bochs Project$", "Bochs"),
    (0, "Vendor", r"^SeaBIOS$", "KVM"),
    (1, "Product Name", r"^KVM$", "KVM"),
    (1, "Product Name", r"^OpenStack", "KVM"),
    (1, "Manufacturer", r"^innotek GmbH$", "VirtualBox"),
    (1, "Product Name", r"^VirtualBox$", "VirtualBox"),
    (1, "Manufacturer", r"^VMware", "VMware"),
    (1, "Product Name", r"^VMware", "VMware"),
    (1, "Manufacturer", r"^Xen$", "Xen"),
    (1, "Product Name", r"HVM domU", "Xen"),
    (1, "Product Name", r"^Virtual Machine$", "Hyper-V"),
    (1, "Manufacturer", r"^Parallels", "Parallels"),
    (1, "Product Name", r"^Google Compute Engine$", "KVM"),
    (1, "Manufacturer", r"^Amazon EC2$", "KVM"),
    (1, "Product Name", r"^AHV$", "KVM"),
]
_COMPILED = [(kind, label, re.compile(pattern), product) for kind, label, pattern, product in _VIRTUAL_SIGNS]


def virtual_machine_kind(report: Report) -> Optional[str]:
    """The hypervisor a report's own firmware names ("QEMU", "KVM", ...), None for a physical machine."""
    try:
        dmi = dmidecode.parse(report.dmidecode)
    except dmidecode.DmiTextError:
        return None
    firsts: dict[int, dmidecode.Structure] = {}
    for s in dmi.structures:
        firsts.setdefault(s.type, s)
    for kind, label, pattern, product in _COMPILED:
        s = firsts.get(kind)
        if s is not None and pattern.search(s.get(label) or ""):
            return product
    return None


def _kinds(result: dict) -> list[str]:
    """Every kind of finding a survey result stands for."""
    if "error" in result:
        # "dmidecode: handle 0x0012: 3 bytes dumped of 20" -> one kind, whatever the numbers.
        return ["error:" + re.sub(r"0x[0-9A-Fa-f]+|\d+", "N", str(result["error"]))]
    kinds = [f"verdict:{result.get('type')}:{result.get('name', '')}",
             f"gate:{result.get('gate') or '-'}", f"decidedBy:{result.get('decidedBy') or '-'}"]
    kinds += [f"sign:{sign}" for sign in result.get("signs") or []]
    return kinds


def _spread(key: str) -> str:
    """A stable order that does not follow vendor names (paths sort by vendor)."""
    return hashlib.sha256(key.encode()).hexdigest()


def select_sample(results: Iterable[dict], virtual: Iterable[str] = (), per_kind: int = 3,
                  size: int = 300) -> list[str]:
    """The machines (the results' "machine" values) of the sample, sorted.

    Every machine in `virtual` is taken, and for every kind of finding the
    `per_kind` machines that come first in a stable pseudo-random order; then
    machines with no sign at all fill the sample up to `size`.  The order
    depends only on the machine names, so the same survey gives the same sample."""
    chosen = set(virtual)
    best: dict[str, list[tuple[str, str]]] = {}
    quiet: list[tuple[str, str]] = []
    for result in results:
        machine = result["machine"]
        order = _spread(machine)
        for kind in _kinds(result):
            candidates = best.setdefault(kind, [])
            if len(candidates) < per_kind or order < candidates[-1][0]:
                candidates.append((order, machine))
                candidates.sort()
                del candidates[per_kind:]
        if "error" not in result and not result.get("signs") and not result.get("gate"):
            quiet.append((order, machine))
            if len(quiet) > 4 * size:
                quiet.sort()
                del quiet[size:]
    for candidates in best.values():
        chosen.update(machine for _, machine in candidates)
    for _, machine in sorted(quiet):
        if len(chosen) >= size:
            break
        chosen.add(machine)
    return sorted(chosen)


def _add(archive: tarfile.TarFile, name: str, text: str) -> None:
    data = text.encode("utf-8")
    info = tarfile.TarInfo(name)
    info.size, info.mtime, info.mode = len(data), 0, 0o644
    archive.addfile(info, io.BytesIO(data))


def write_sample(reports: Iterable[Report], chosen: Iterable[str], folder: str, sources: dict[str, str],
                 key=lambda report: report.path) -> str:
    """Stores the raw reports whose key (by default the DMI path) is chosen,
    as DMI/<path> and ACPI/<path>.bin in folder/reports.tar.xz, and writes
    folder/PROVENANCE.  `sources` names the commit each repository was read
    at, e.g. {"linuxhw/DMI": "57b21bc6fd...", "linuxhw/ACPI": "..."}.
    Returns the archive's path; fails when it would exceed 2 MB."""
    wanted = set(chosen)
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, ARCHIVE)
    stored = []
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w:xz", preset=9) as archive:
        for report in reports:
            if key(report) not in wanted:
                continue
            _add(archive, f"DMI/{report.path}", report.dmidecode)
            if report.acpidump is not None:
                _add(archive, f"ACPI/{report.path}.bin", report.acpidump)
            stored.append(report)
    if buffer.tell() > SIZE_LIMIT:
        raise ValueError(f"the sample takes {buffer.tell()} bytes, more than {SIZE_LIMIT}; choose fewer reports")
    missing = wanted - {key(report) for report in stored}
    if missing:
        raise ValueError(f"{len(missing)} chosen reports are not in the clones, e.g. {sorted(missing)[0]}")
    with open(target, "wb") as out:
        out.write(buffer.getvalue())
    with open(os.path.join(folder, "PROVENANCE"), "w", encoding="utf-8") as out:
        out.write(provenance(stored, sources))
    return target


def provenance(stored: list[Report], sources: dict[str, str]) -> str:
    lines = [
        f"{ARCHIVE}: {len(stored)} hardware reports of real computers, unchanged, chosen from the",
        "public hardware report collections of the Linux Hardware Project:",
        "",
    ]
    for repository, commit in sorted(sources.items()):
        lines.append(f"  https://github.com/{repository} at commit {commit}")
    lines += [
        "",
        "Licence: Creative Commons Attribution 4.0 International (CC-BY-4.0),",
        "https://creativecommons.org/licenses/by/4.0/ . Attribution: linuxhw/DMI and linuxhw/ACPI,",
        "Linux Hardware Project (https://linux-hardware.org), collected with hw-probe from its users'",
        "machines; serial numbers and UUIDs were anonymised (\"--\") by the collectors.",
        "",
        "DMI/<form factor>/<vendor>/<family>/<model>/<hardware ID> is the dmidecode text of",
        "linuxhw/DMI at that path; ACPI/<same path>.bin is the acpidump text linuxhw/ACPI holds",
        "for the same hardware ID. tools/realworld/sample.py chose and wrote them.",
        "",
        "Reports:",
    ]
    lines += [f"  {report.path}" + ("  (+ acpidump)" if report.acpidump is not None else "") for report in stored]
    return "\n".join(lines) + "\n"


def read_sample(archive_path: str) -> Iterator[Report]:
    """The reports of a stored sample, in the order they were written."""
    with tarfile.open(archive_path, mode="r:xz") as archive:
        members = {member.name: member for member in archive.getmembers() if member.isfile()}
        for name, member in members.items():
            if not name.startswith("DMI/"):
                continue
            path = name[4:]
            parts = path.split("/")
            if len(parts) != 5:
                continue
            acpi = members.get(f"ACPI/{path}.bin")
            yield Report(hwid=parts[4], path=path, form_factor=parts[0], vendor=parts[1], model=parts[3],
                         dmidecode=archive.extractfile(member).read().decode("utf-8"),
                         acpidump=archive.extractfile(acpi).read().decode("utf-8") if acpi else None)
