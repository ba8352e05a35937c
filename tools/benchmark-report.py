#!/usr/bin/env python3
"""The tables of docs/performance.md from corvane-bench's JSON reports.

    benchmark-report.py HOST.json [IMAGE.json...] [RUN.json...] [SURVEY.json] [READER.json] > benchmarks.md

HOST.json is what tools/run-benchmarks.sh records about the host (CPU,
cores, load); each IMAGE.json describes a DLL's image and its load times
(check-dll-image.py --describe); each RUN.json is one corvane-bench report;
SURVEY.json is what tools/survey-benchmark.py measured of `corvane-vmd survey`;
READER.json what tools/profile-reader-benchmark.py measured of reading crafted
profiles.
"""
import json
import sys


def ms(microseconds):
    return f"{microseconds / 1000:.1f}"


def us(microseconds):
    return f"{microseconds:.0f}" if microseconds >= 10 else f"{microseconds:.1f}"


def mib(size):
    return f"{size / (1 << 20):.1f}"


def spread(summary, unit=ms):
    return f"{unit(summary['median'])} ({unit(summary['p10'])}–{unit(summary['p90'])}; {unit(summary['min'])}–{unit(summary['max'])})"


def verdict(entry):
    return f"{entry['type']} \"{entry['name']}\"" if entry["name"] else f"{entry['type']} (none)"


def goal(overhead):
    met = "met" if overhead["met"] else "**not met**"
    return f"{overhead['ratioOfMedians']:.3f} (goal ≤ {overhead['goal']:.2f}: {met})"


def survey_section(survey):
    """The survey's cost per profile and its memory along the run."""
    resident = survey["residentKiB"]
    out = ["### Replaying many profiles: `corvane-vmd survey`\n",
           f"One `corvane-vmd survey -` process fed {survey['profiles']:,} machine profiles on standard input, "
           f"the {survey['distinctProfiles']} profiles of the corpus round and round (firmware tables inlined, "
           f"{survey['meanProfileBytes'] / 1000:.0f} kB of JSON each on average), on {survey['date']}.\n",
           "| | |", "|---|---|",
           f"| time per profile, after the first 1,000 | {survey['msPerProfile']:.2f} ms |",
           f"| the whole run | {survey['seconds']:.1f} s |",
           f"| first answer after the start | {survey['firstAnswerSeconds'] * 1000:.0f} ms |",
           f"| resident memory over the first 1,000 profiles (peak) | {resident['first1000'] / 1024:.1f} MiB |",
           f"| resident memory over the last 10% (peak) | {resident['last10Percent'] / 1024:.1f} MiB |",
           f"| resident memory, peak of the run | {resident['peak'] / 1024:.1f} MiB |",
           ""]
    return out


def reader_section(reader):
    """Crafted profiles near the size cap: each read or refused, its time and memory."""
    out = ["### Reading crafted profiles: `corvane-vmd replay FILE --quiet`\n",
           f"Measured on {reader['date']}; the goal for each: under 2 s and a peak under 4 times the file's size "
           "plus 64 MB.\n",
           "| file | size | time | peak resident memory | answer | goal |", "|---|---|---|---|---|---|"]
    for row in reader["files"]:
        answer = f"refused: {row['answer']}" if row["status"] == 2 else f"read (exit {row['status']})"
        out.append(f"| {row['file']} | {row['bytes'] / 1e6:.0f} MB | {row['seconds']:.2f} s | "
                   f"{row['peakResidentKiB'] / 1024:.0f} MiB | {answer} | {'met' if row['met'] else '**not met**'} |")
    return out + [""]


def image_section(images):
    """The DLL as a host meets it: stripped size, imports, load and unload."""
    if not images:
        return []
    out = ["", "### The DLL's image\n",
           "Stripped as the release ships it; load is `LoadLibraryW` to `FreeLibrary` in one process under Wine, "
           "nothing called in between, the first cycle (which reads the file) apart.\n",
           "| | " + " | ".join(f"`{image['label']}`" for image in images) + " |", "|---|" + "---|" * len(images)]

    def row(name, cell):
        out.append(f"| {name} | " + " | ".join(cell(image) for image in images) + " |")

    row("size, stripped (bytes)", lambda i: f"{i['bytes']:,}")
    row("imported functions", lambda i: f"{i['imports']}")
    row("imported modules", lambda i: f"{i['modules']}")
    row("TLS callbacks", lambda i: f"{i['tlsCallbacks']}")
    row("load and unload, µs: median (p10–p90; min–max)", lambda i: spread(i["load"]["loadFreeUs"], us))
    row("first load and unload, µs", lambda i: us(i["load"]["firstLoadFreeUs"]))
    row("cycles", lambda i: f"{i['load']['cycles']}")
    return out


def main(arguments):
    if len(arguments) < 2:
        sys.exit(__doc__)
    with open(arguments[0]) as file:
        host = json.load(file)
    runs = []
    surveys = []
    readers = []
    images = []
    for path in arguments[1:]:
        with open(path) as file:
            report = json.load(file)
        kind = report.get("format")
        kinds = {"corvane-survey-bench": surveys, "corvane-profile-reader-bench": readers, "corvane-dll-image": images}
        kinds.get(kind, runs).append(report)

    out = []
    out.append("### Conditions\n")
    out.append(f"- Host: {host['cpu']}, {host['cores']} logical processors, Linux {host['kernel']}, {host['wine']}")
    out.append(f"- Load average (1, 5, 15 min): {host['start']['loadAverage']} at the start "
               f"({host['start']['date']}), {host['finish']['loadAverage']} at the end ({host['finish']['date']})")
    out += image_section(images)
    if not runs:
        out.append("")
        for survey in surveys:
            out += survey_section(survey)
        for reader in readers:
            out += reader_section(reader)
        print("\n".join(out))
        return
    for run in runs:
        c = run["conditions"]
        s = c["settings"]
        out.append(f"- `{c['label']}`: {c['date']}, CPU as Wine reports it \"{c['cpu']}\", "
                   f"{c['logicalProcessors']} processors, Wine {c['wine']}; "
                   f"{s['firstCallRuns']} fresh processes of each kind, {s['steadyPairs']} steady-state pairs "
                   f"after {s['warmupDetections']} warm-up detections, {s['checkRepetitions']} calls of each check")
    out.append(f"- DLL: {runs[0]['conditions']['dllBytes']:,} bytes (the shipped CorvaneVMD.dll as built, "
               "before stripping: Release, C++ runtime linked statically)\n")

    out.append("### The library against the plain baseline\n")
    out.append("Milliseconds: median (p10–p90; min–max).\n")
    header = "| | " + " | ".join(f"`{run['conditions']['label']}`" for run in runs) + " |"
    out.append(header)
    out.append("|---|" + "---|" * len(runs))

    def row(name, cell):
        out.append(f"| {name} | " + " | ".join(cell(run) for run in runs) + " |")

    row("verdict (library / baseline)", lambda r: " / ".join(
        verdict(v) for v in [r["steadyState"]["verdict"]["library"], r["steadyState"]["verdict"]["baseline"]]))
    row("loading the DLL", lambda r: spread(r["firstCall"]["library"]["loadUs"]))
    row("first `DetectVM`, library", lambda r: spread(r["firstCall"]["library"]["firstDetectUs"]))
    row("first detection, baseline", lambda r: spread(r["firstCall"]["baseline"]["firstDetectUs"]))
    row("first detection, library linked into the program", lambda r: spread(r["firstCall"]["linked"]["firstDetectUs"]))
    row("first call: library / baseline", lambda r: goal(r["firstCall"]["overhead"]))
    row("first call with the DLL's loading / baseline",
        lambda r: f"{r['firstCall']['overhead']['ratioOfMediansWithLoad']:.3f}")
    row("first call, library linked in / baseline",
        lambda r: f"{r['firstCall']['overhead']['linkedRatioOfMedians']:.3f}")
    row("second detection of a fresh process: library / baseline",
        lambda r: f"{r['firstCall']['overhead']['secondDetectRatioOfMedians']:.3f}")
    row("steady `DetectVM`, library", lambda r: spread(r["steadyState"]["libraryUs"]))
    row("steady detection, baseline", lambda r: spread(r["steadyState"]["baselineUs"]))
    row("steady state: library / baseline", lambda r: goal(r["steadyState"]["overhead"]))
    row("steady state: ratio of each pair", lambda r: spread(r["steadyState"]["pairRatio"], lambda x: f"{x:.3f}"))
    row("peak working set, library process (MiB)",
        lambda r: mib(r["firstCall"]["library"]["peakWorkingSetBytes"]["median"]))
    row("peak working set, baseline process (MiB)",
        lambda r: mib(r["firstCall"]["baseline"]["peakWorkingSetBytes"]["median"]))
    out.append("")

    out.append("### Each detector and check on its own\n")
    out.append("Microseconds, median of the calls; \"sign\" when the check found one on that machine. "
               "Checks a detector inherits unchanged (always false, no system call) are left out.\n")
    out.append("| detector | check | " + " | ".join(f"`{run['conditions']['label']}`" for run in runs) + " |")
    out.append("|---|---|" + "---|" * len(runs))
    detectors = [d["name"] for d in runs[0]["checkCosts"]["detectors"]]
    for index, name in enumerate(detectors):
        def detector_of(run):
            return run["checkCosts"]["detectors"][index]

        out.append(f"| {name} | **detect** | " + " | ".join(
            us(detector_of(r)["detectUs"]["median"]) + (" sign" if detector_of(r)["found"] else "") for r in runs) + " |")
        for check_index, check in enumerate(detector_of(runs[0])["checks"]):
            if check.get("inherited"):
                continue
            cells = []
            for run in runs:
                measured = detector_of(run)["checks"][check_index]
                cells.append(us(measured["us"]["median"]) + (" sign" if measured["found"] else ""))
            out.append(f"| | {check['name']} | " + " | ".join(cells) + " |")
    out.append("")
    for survey in surveys:
        out += survey_section(survey)
    for reader in readers:
        out += reader_section(reader)
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1:])
