#!/usr/bin/env python3
"""The rules on real machines: every report of a clone of linuxhw/DMI (with
linuxhw/ACPI where a machine has both) converted to a machine profile and
replayed through the library's own checks, in one `corvane-vmd survey -`
process; the results written as docs/real-world.md and docs/real-world.json.

    tools/realworld/study.py DMI_CLONE [--acpi ACPI_CLONE] --exe corvane-vmd.exe [--run wine]
                             [--jobs N] [--limit N] [--results FILE] [--sample]
    tools/realworld/study.py --from-results FILE ...      the documents again, without a new run

The clones are plain `git clone`s (bare ones too); reports are read from
their git objects, so no checkout is needed. --results keeps every report's
result (one JSON line each) for --from-results. --sample also chooses the
committed sample (tests/fixtures/realworld/sample/) and records what the
sample test must find in it.
"""

import argparse
import collections
import datetime
import json
import multiprocessing
import os
import pathlib
import queue
import subprocess
import sys
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parent))

from generated_doc import write_or_check  # noqa: E402
import hypervisors  # noqa: E402
import study_docs  # noqa: E402

OUTPUT_MD = ROOT / "docs" / "real-world.md"
OUTPUT_JSON = ROOT / "docs" / "real-world.json"
REFERENCE_PROFILE = ROOT / "tests" / "fixtures" / "profiles" / "physical"


def converter():
    import report_profile  # the converter; imported late so that --from-results needs none of it
    return report_profile


def convert_one(report):
    """(facts about the report, its profile as one JSON line or None, why not, checks not measurable)."""
    facts = {
        "hwid": report.hwid,
        "path": report.path,
        "formFactor": report.form_factor,
        "vendor": report.vendor,
        "model": report.model,
        "acpi": report.acpidump is not None,
        "hypervisor": hypervisors.identify(report.dmidecode),
    }
    report_profile = converter()
    try:
        profile = report_profile.convert(report)
        facts["notMeasurable"] = sorted(report_profile.not_measurable(report))
        return facts, json.dumps(profile, separators=(",", ":"), ensure_ascii=False), None
    except report_profile.ReportError as error:
        return facts, None, str(error) or type(error).__name__
    except Exception as error:  # a converter fault is counted and named like a broken report
        return facts, None, f"converter failed: {type(error).__name__}: {error}"


class Survey:
    """One `corvane-vmd survey -` process: profiles in through a pipe, one line
    out for each, in order. The facts of each report wait in a queue for its line."""

    def __init__(self, command, on_result):
        self.process = subprocess.Popen(command + ["survey", "-"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        encoding="utf-8", errors="replace")
        self.waiting = queue.Queue()
        self.on_result = on_result
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            line = line.strip()
            if not line:
                continue
            facts = self.waiting.get()
            try:
                answer = json.loads(line)
            except ValueError:
                answer = {"error": f"unreadable survey line: {line[:200]}"}
            self.on_result(facts, answer)
        # Whatever is still waiting never got a line: the survey stopped.
        while not self.waiting.empty():
            self.on_result(self.waiting.get(), {"error": "the survey process ended before replaying it"})

    def send(self, facts, line):
        self.waiting.put(facts)
        try:
            self.process.stdin.write(line + "\n")
        except (BrokenPipeError, OSError):
            pass  # the reader names it when the process's output ends

    def finish(self):
        try:
            self.process.stdin.close()
        except (BrokenPipeError, OSError):
            pass
        self.reader.join()
        return self.process.wait()


def all_checks(command):
    """The general steps and the products' own checks, in order, as `--explain --json` names them."""
    profile = sorted(REFERENCE_PROFILE.glob("*.json"))[0]
    result = subprocess.run(command + ["replay", str(profile), "--explain", "--json"], capture_output=True,
                            encoding="utf-8", errors="replace")
    if result.returncode not in (0, 1):
        raise SystemExit(f"corvane-vmd replay failed ({result.returncode}): {result.stderr.strip()}")
    steps, checks = [], []
    for detector in json.loads(result.stdout)["detectors"]:
        for check in detector["checks"]:
            name = f"{detector['detector']}.{check['check']}"
            if detector["role"] == "gate":
                steps.append(name)
            elif check["own"]:
                checks.append(name)
    return steps, checks


def run_study(arguments, command):
    from reports import iter_reports

    results = []
    keep = open(arguments.results, "w", encoding="utf-8") if arguments.results else None
    lock = threading.Lock()

    def keep_result(entry):
        with lock:
            results.append(entry)
            if keep:
                keep.write(json.dumps(entry, ensure_ascii=False) + "\n")
            if len(results) % 10000 == 0:
                print(f"study: {len(results)} reports", file=sys.stderr, flush=True)

    def record(facts, answer):
        entry = dict(facts)
        if "error" in answer:
            entry["error"] = "the profile reader: " + answer["error"]
        else:
            entry.update({key: answer.get(key) for key in ("type", "name", "gate", "decidedBy", "signs")})
        keep_result(entry)

    started = time.monotonic()
    survey = Survey(command, record)
    reports = iter_reports(arguments.dmi, arguments.acpi, limit=arguments.limit)
    with multiprocessing.Pool(arguments.jobs) as pool:
        for facts, line, error in pool.imap(convert_one, reports, chunksize=16):
            if line is None:
                keep_result(dict(facts, error=error))
            else:
                survey.send(facts, line)
    status = survey.finish()
    seconds = time.monotonic() - started
    if keep:
        keep.close()
    print(f"study: {len(results)} reports in {seconds:.0f} s (survey exit status {status})", file=sys.stderr)
    return results, seconds


def dataset_commit(clone):
    if not clone:
        return None
    result = subprocess.run(["git", "-C", str(clone), "rev-parse", "HEAD"], capture_output=True, text=True)
    return result.stdout.strip() or None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("dmi", nargs="?", help="a clone of linuxhw/DMI")
    parser.add_argument("--acpi", help="a clone of linuxhw/ACPI")
    parser.add_argument("--exe", required=True, help="corvane-vmd.exe")
    parser.add_argument("--run", default="", help="what runs a Windows program (wine, the build's wine-run.sh)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="conversion processes")
    parser.add_argument("--limit", type=int, help="only the first N reports (for a try; the documents say so)")
    parser.add_argument("--results", help="keep every report's result here (JSON lines)")
    parser.add_argument("--from-results", help="write the documents from a kept results file, without a run")
    parser.add_argument("--sample", action="store_true", help="also choose and write the committed sample")
    arguments = parser.parse_args()
    command = ([arguments.run] if arguments.run else []) + [arguments.exe]

    steps, checks = all_checks(command)
    if arguments.from_results:
        with open(arguments.from_results, encoding="utf-8") as file:
            run = json.loads(file.readline())
            results = [json.loads(line) for line in file]
    else:
        if not arguments.dmi:
            parser.error("give a clone of linuxhw/DMI, or --from-results")
        results, seconds = run_study(arguments, command)
        run = {
            "date": datetime.date.today().isoformat(),
            "seconds": round(seconds),
            "cores": os.cpu_count(),
            "limit": arguments.limit,
            "dmiCommit": dataset_commit(arguments.dmi),
            "acpiCommit": dataset_commit(arguments.acpi),
        }
        if arguments.results:  # the run's own facts go first, for --from-results
            kept = pathlib.Path(arguments.results)
            body = kept.read_text(encoding="utf-8")
            kept.write_text(json.dumps(run) + "\n" + body, encoding="utf-8")

    assumed = getattr(converter(), "ASSUMED", {}) if not arguments.from_results or _has_converter() else {}
    summary = study_docs.summarise(results, steps, checks, run)
    write_or_check(OUTPUT_JSON, json.dumps(summary, indent=2, ensure_ascii=False) + "\n",
                   "tools/realworld/study.py", False)
    write_or_check(OUTPUT_MD, study_docs.render(summary, results, assumed), "tools/realworld/study.py", False)
    if arguments.sample:
        import sample_expectations
        sample_expectations.choose_and_write(results, arguments.dmi, arguments.acpi)
    return 0


def _has_converter():
    try:
        converter()
        return True
    except ImportError:
        return False


if __name__ == "__main__":
    sys.exit(main())
