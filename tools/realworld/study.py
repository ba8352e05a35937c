"""`study`: the rules on real machines: every report of a clone of linuxhw/DMI (with
linuxhw/ACPI where a machine has both) converted to a machine profile and
replayed through the library's own checks in one `corvane-vmd survey -`
process; the results written as docs/real-world.md and docs/real-world.json.

    tools/realworld-study study DMI_CLONE [--acpi ACPI_CLONE] --exe corvane-vmd.exe [--run wine]
                               [--jobs N] [--skip N] [--limit N] [--results FILE] [--sample]
    tools/realworld-study study --from-results FILE... --exe corvane-vmd.exe [--run wine]
                               the documents again from kept runs, without a new one: runs
                               over consecutive slices (--skip) are joined into one

The clones are plain `git clone`s (bare ones too): reports are read from
their git objects, no checkout needed. --results keeps every report's result
(one JSON line each, written as they come, between lines about the run). --sample also chooses
the sample of tests/fixtures/realworld/sample/ and records there what the
sample test must find in it.
"""

import argparse
import datetime
import json
import os
import pathlib
import subprocess
import sys
import time

from generated_doc import write_or_check

from . import assumed, firmware, pipeline, sample_expectations, study_docs
from .reports import iter_reports

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent

OUTPUT_MD = ROOT / "docs" / "real-world.md"
OUTPUT_JSON = ROOT / "docs" / "real-world.json"
REFERENCE_PROFILES = ROOT / "tests" / "fixtures" / "profiles" / "physical"
SCRIPT = "tools/realworld-study study"


def all_checks(command):
    """The general steps and the products' own checks, in order, as `--explain --json` names them."""
    profile = sorted(REFERENCE_PROFILES.glob("*.json"))[0]
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


def dataset_commit(clone):
    if not clone:
        return None
    result = subprocess.run(["git", "-C", str(clone), "rev-parse", "HEAD"], capture_output=True, text=True)
    return result.stdout.strip() or None


def run_study(arguments, command):
    run = {
        "date": datetime.date.today().isoformat(),
        "cores": os.cpu_count(),
        "limit": arguments.limit,
        "dmiCommit": dataset_commit(arguments.dmi),
        "acpiCommit": dataset_commit(arguments.acpi),
    }
    if arguments.skip:
        run["skip"] = arguments.skip
    results = []
    # Every result is kept as it comes, so that a run stopped early still leaves what it found.
    kept = open(arguments.results, "w", encoding="utf-8", buffering=1) if arguments.results else None
    if kept:
        kept.write(json.dumps({"run": run}) + "\n")

    def keep(entry):
        results.append(entry)
        if kept:
            kept.write(json.dumps(entry, ensure_ascii=False) + "\n")
        if len(results) % 10000 == 0:
            print(f"study: {len(results):,} reports", file=sys.stderr, flush=True)

    started = time.monotonic()
    status = pipeline.survey_reports(iter_reports(arguments.dmi, arguments.acpi, limit=arguments.limit,
                                                  skip=arguments.skip),
                                     command, arguments.jobs, keep)
    run["seconds"] = round(time.monotonic() - started)
    if kept:
        kept.write(json.dumps({"finished": {"seconds": run["seconds"]}}) + "\n")
        kept.close()
    print(f"study: {len(results):,} reports in {run['seconds']} s (survey exit status {status})", file=sys.stderr)
    return run, results


def read_results(path):
    """A kept run: its facts and its results; a run stopped early is marked "stopped"."""
    run, results, finished = {}, [], None
    with open(path, encoding="utf-8") as file:
        for line in file:
            if not line.strip():
                continue
            try:
                item = json.loads(line)
            except ValueError:
                continue  # the last line of a run stopped while writing it
            if "run" in item:
                run = item["run"]
            elif "finished" in item:
                finished = item["finished"]
            else:
                results.append(item)
    if finished:
        run["seconds"] = finished["seconds"]
    else:
        run["stopped"] = True
    return run, results


def join_results(runs):
    """One run from runs over consecutive slices of the collection, in path order, each but the first
    started with --skip where the one before it ends. A slice stopped early is whole when it reached
    the next slice's start: its results beyond it are the next slice's own."""
    run, results = dict(runs[0][0]), []
    for (facts, entries), following in zip(runs, [r[0] for r in runs[1:]] + [None]):
        entries = sorted(entries, key=lambda entry: entry["path"])
        if following is not None:
            wanted = following.get("skip", 0) - (facts.get("skip") or 0)
            if len(entries) < wanted:
                raise SystemExit(f"a slice ends after {len(entries)} reports, {wanted - len(entries)} before the next begins")
            entries = entries[:wanted]
        results += entries
    if len(runs) > 1:
        last = runs[-1][0]
        run.pop("stopped", None)
        run.update({key: last[key] for key in ("stopped",) if key in last})
        run.pop("seconds", None)  # slices run side by side or one after another: no one time measures the whole
        run["slices"] = len(runs)
    return run, results


def main(argv):
    parser = argparse.ArgumentParser(prog="realworld-study study", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("dmi", nargs="?", help="a clone of linuxhw/DMI")
    parser.add_argument("--acpi", help="a clone of linuxhw/ACPI")
    parser.add_argument("--exe", required=True, help="corvane-vmd.exe")
    parser.add_argument("--run", default="", help="what runs a Windows program (wine, the build's wine-run.sh)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="conversion processes")
    parser.add_argument("--limit", type=int, help="only the first N reports in path order (form factor first, so "
                        "no sample of the collection: a try; the documents say so)")
    parser.add_argument("--skip", type=int, default=0, help="leave out the first N reports in path order (a run "
                        "over the rest, to be joined with one over those)")
    parser.add_argument("--results", help="keep every report's result in this file (JSON lines)")
    parser.add_argument("--from-results", nargs="+", help="write the documents from kept results files, without a "
                        "run; several are runs over consecutive slices of the collection, joined")
    parser.add_argument("--sample", action="store_true", help="also choose and write the committed sample")
    arguments = parser.parse_args(argv)
    command = ([arguments.run] if arguments.run else []) + [arguments.exe]

    steps, checks = all_checks(command)
    if arguments.from_results:
        run, results = join_results([read_results(path) for path in arguments.from_results])
    elif arguments.dmi:
        run, results = run_study(arguments, command)
    else:
        parser.error("give a clone of linuxhw/DMI, or --from-results")

    results.sort(key=lambda entry: entry["path"])
    if arguments.sample:  # first: the sample holds every virtual machine, which the next step reads
        if not arguments.dmi:
            parser.error("--sample reads the reports again: give the clones too")
        sample_expectations.choose_and_write(results, arguments.dmi, arguments.acpi, run)
    family = firmware.family_verdicts(command)
    summary = study_docs.summarise(results, steps, checks, run, family)
    write_or_check(OUTPUT_JSON, json.dumps(summary, indent=2, ensure_ascii=False) + "\n", SCRIPT, False)
    write_or_check(OUTPUT_MD, study_docs.render(summary, results, assumed.DESCRIPTION), SCRIPT, False)
    return 0
