#!/usr/bin/env python3
"""What `corvane-vmd survey -` costs per machine profile, and whether its
memory stays flat: the corpus profiles (tests/fixtures/profiles, their
firmware files inlined) fed round and round through one survey process.

    tools/survey-benchmark.py --exe corvane-vmd.exe [--run WRAPPER] [--profiles N] --out survey.json

tools/run-benchmarks.sh runs it; tools/benchmark-report.py turns its report
into the survey table of docs/performance.md.
"""

import argparse
import base64
import datetime
import json
import os
import pathlib
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
PROFILES = ROOT / "tests" / "fixtures" / "profiles"
SAMPLE_EVERY = 0.2  # seconds between two looks at the survey's memory


def inline_files(value, folder):
    """{"file": path} byte data as {"base64": ...}: a line of standard input has no folder of its own."""
    if isinstance(value, dict):
        if set(value) == {"file"}:
            return {"base64": base64.b64encode((folder / value["file"]).read_bytes()).decode()}
        return {key: inline_files(item, folder) for key, item in value.items()}
    if isinstance(value, list):
        return [inline_files(item, folder) for item in value]
    return value


def corpus_lines():
    lines = []
    for path in sorted(PROFILES.rglob("*.json")):
        profile = inline_files(json.loads(path.read_text(encoding="utf-8")), path.parent)
        lines.append(json.dumps(profile, separators=(",", ":")) + "\n")
    return lines


def descendants(pid):
    """pid and every process below it."""
    found, frontier = [pid], [pid]
    while frontier:
        parent = frontier.pop()
        try:
            children = pathlib.Path(f"/proc/{parent}/task/{parent}/children").read_text().split()
        except OSError:
            continue
        for child in map(int, children):
            found.append(child)
            frontier.append(child)
    return found


def resident_kib(pid, name="corvane-vmd"):
    """The resident memory of the survey's Windows process (the largest one of that name below pid)."""
    largest = 0
    for process in descendants(pid):
        try:
            status = pathlib.Path(f"/proc/{process}/status").read_text()
            command = pathlib.Path(f"/proc/{process}/cmdline").read_bytes()
        except OSError:
            continue
        if name.encode() not in command:
            continue
        for line in status.splitlines():
            if line.startswith("VmRSS:"):
                largest = max(largest, int(line.split()[1]))
    return largest


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--run", default="")
    parser.add_argument("--profiles", type=int, default=20000)
    parser.add_argument("--out", required=True)
    arguments = parser.parse_args()

    lines = corpus_lines()
    command = ([arguments.run] if arguments.run else []) + [arguments.exe, "survey", "-"]
    started = time.monotonic()
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, encoding="utf-8")

    def feed():
        for i in range(arguments.profiles):
            process.stdin.write(lines[i % len(lines)])
        process.stdin.close()

    answered = [0]
    errors = [0]
    moments = {}      # profiles answered -> seconds since start
    samples = []      # (profiles answered, resident KiB)
    done = threading.Event()

    def watch():
        while not done.wait(SAMPLE_EVERY):
            resident = resident_kib(process.pid)
            if resident:
                samples.append((answered[0], resident))

    threading.Thread(target=feed, daemon=True).start()
    watcher = threading.Thread(target=watch, daemon=True)
    watcher.start()
    for line in process.stdout:
        answered[0] += 1
        if '"error"' in line and json.loads(line).get("error"):
            errors[0] += 1
        if answered[0] in (1, 1000) or answered[0] == arguments.profiles:
            moments[answered[0]] = time.monotonic() - started
    status = process.wait()
    done.set()
    watcher.join()
    if answered[0] != arguments.profiles or errors[0] or status not in (0,):
        sys.exit(f"survey answered {answered[0]} of {arguments.profiles} profiles, {errors[0]} errors, status {status}")

    steady = arguments.profiles - 1000
    early = [kib for count, kib in samples if count <= 1000]
    late = [kib for count, kib in samples if count >= arguments.profiles * 0.9]
    report = {
        "format": "corvane-survey-bench",
        "version": 1,
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"),
        "profiles": arguments.profiles,
        "distinctProfiles": len(lines),
        "meanProfileBytes": round(sum(map(len, lines)) / len(lines)),
        "seconds": round(moments[arguments.profiles], 2),
        "firstAnswerSeconds": round(moments[1], 3),
        "msPerProfile": round(1000 * (moments[arguments.profiles] - moments[1000]) / steady, 3),
        "residentKiB": {
            "first1000": max(early) if early else None,
            "last10Percent": max(late) if late else None,
            "peak": max(kib for _, kib in samples) if samples else None,
        },
        "cores": os.cpu_count(),
    }
    pathlib.Path(arguments.out).write_text(json.dumps(report, indent=2) + "\n", encoding="utf-8")
    print(json.dumps(report, indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
