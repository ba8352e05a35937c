"""`convert`: one report to a machine profile on standard output, or with --all
every report of the clones converted (not replayed) to count the broken ones
and time the conversion.

    python3 -m realworld convert REPORT.dmidecode [REPORT.acpidump] > machine.json
    python3 -m realworld convert --all DMI_CLONE [ACPI_CLONE] [--limit N]
"""
from __future__ import annotations

import collections
import os
import re
import sys
import time
from typing import Optional

from .report_profile import ReportError, convert
from .reports import Report, iter_reports


def _convert_all(dmi_repo: str, acpi_repo: Optional[str], limit: Optional[int]) -> int:
    """Converts every report of the clones without replaying them: how many are
    broken, and why, and what a conversion costs."""

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

    parser = argparse.ArgumentParser(prog="realworld convert", description="Convert firmware reports to machine profiles.")
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
