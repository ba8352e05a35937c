#!/usr/bin/env python3
"""What reading a crafted profile near the 64 MiB cap costs `corvane-vmd
replay`: its time and its peak resident memory, for three files, each read or
refused (the goal: under 2 s and under 4 times the file's size plus 64 MB).

    tools/profile-reader-benchmark.py --exe corvane-vmd.exe [--run WRAPPER] --out profile-reader.json

tools/run-benchmarks.sh runs it; tools/benchmark-report.py turns its report
into the profile reader's table of docs/performance.md.
"""

import argparse
import datetime
import importlib.util
import json
import pathlib
import subprocess
import sys
import tempfile
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
_spec = importlib.util.spec_from_file_location("survey_benchmark", HERE / "survey-benchmark.py")
survey_benchmark = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(survey_benchmark)

HEADER = '{"format": "corvane-machine-profile", "version": 1, '


def nested_arrays(path):
    """62 MB of nested '[' inside a known list."""
    with open(path, "w") as out:
        out.write(HEADER + '"registry": ')
        out.write("[" * (62 * 1000 * 1000))


def empty_objects_in_unknown_field(path):
    """18 MB: six million {} in a field no profile has."""
    with open(path, "w") as out:
        out.write(HEADER + '"bogus": [')
        out.write("{}," * (6 * 1000 * 1000 - 1) + "{}]}")


def many_processes(path):
    """31 MB: a profile listing 1.8 million processes."""
    with open(path, "w") as out:
        out.write(HEADER + '"processes": [')
        out.write('{"exeName":"ab"},' * (1_800_000 - 1) + '{"exeName":"ab"}]}')


FILES = [("62 MB of nested [", nested_arrays), ("18 MB, 6 million {} in an unknown field", empty_objects_in_unknown_field),
         ("31 MB, 1.8 million processes", many_processes)]
GOAL_SECONDS = 2.0
GOAL_SLACK_BYTES = 64 * 1000 * 1000


def measure(command):
    """Wall time, peak resident KiB of the corvane-vmd process, exit status and its first stderr line."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               encoding="utf-8", errors="replace")
    peak = [0]
    done = threading.Event()

    def watch():
        while not done.wait(0.01):
            peak[0] = max(peak[0], survey_benchmark.resident_kib(process.pid))

    watcher = threading.Thread(target=watch, daemon=True)
    watcher.start()
    error = process.stderr.read()
    status = process.wait()
    seconds = time.monotonic() - started
    done.set()
    watcher.join()
    return seconds, peak[0], status, (error.splitlines() or [""])[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--run", default="")
    parser.add_argument("--out", required=True)
    arguments = parser.parse_args()

    rows = []
    with tempfile.TemporaryDirectory() as folder:
        for name, make in FILES:
            path = pathlib.Path(folder) / "crafted.json"
            make(path)
            size = path.stat().st_size
            command = ([arguments.run] if arguments.run else []) + [arguments.exe, "replay", str(path), "--quiet"]
            seconds, kib, status, error = measure(command)
            limit = 4 * size + GOAL_SLACK_BYTES
            rows.append({"file": name, "bytes": size, "seconds": round(seconds, 2), "peakResidentKiB": kib,
                         "status": status, "answer": error.replace(str(path), "FILE"),
                         "met": seconds < GOAL_SECONDS and kib * 1024 < limit})
            path.unlink()
    report = {"format": "corvane-profile-reader-bench", "version": 1,
              "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"), "files": rows}
    pathlib.Path(arguments.out).write_text(json.dumps(report, indent=2) + "\n", encoding="utf-8")
    print(json.dumps(report, indent=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
