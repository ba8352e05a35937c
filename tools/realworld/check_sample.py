"""`check-sample`: the sample test: converts the committed sample of real reports
(tests/fixtures/realworld/sample/), replays it through one survey, and
compares every report's verdict, gate, deciding check and signs, and the
per-step counts, with what the study recorded in expected.json.

    tools/realworld-study check-sample --exe corvane-vmd.exe [--run WRAPPER]

Exits 1 with the differences when any report or count differs.
"""

import argparse
import json
import sys

from . import pipeline, sample, sample_expectations

SHOWN = 20  # differences printed at most


def main(argv):
    parser = argparse.ArgumentParser(prog="realworld-study check-sample")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--run", default="")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--record", action="store_true",
                        help="write what the sample gives now as expected.json (the converter or the rules changed on "
                             "purpose, and the sample keeps its reports)")
    arguments = parser.parse_args(argv)
    command = ([arguments.run] if arguments.run else []) + [arguments.exe]

    expected = json.loads(sample_expectations.EXPECTED.read_text(encoding="utf-8"))
    entries = []
    reports = sample.read_sample(str(sample_expectations.FOLDER / sample.ARCHIVE))
    status = pipeline.survey_reports(reports, command, arguments.jobs, entries.append)

    found = sample_expectations.expectations(entries)
    if arguments.record:
        sample_expectations.EXPECTED.write_text(json.dumps(found, indent=1, ensure_ascii=False) + "\n", encoding="utf-8")
        print(f"sample: {len(entries)} reports recorded in {sample_expectations.EXPECTED}")
        return 0
    differences = []
    for path in sorted(set(expected["reports"]) | set(found["reports"])):
        want, got = expected["reports"].get(path), found["reports"].get(path)
        if want != got:
            differences.append(f"{path}:\n  recorded {json.dumps(want)}\n  now      {json.dumps(got)}")
    for key in sorted(set(expected["counts"]) | set(found["counts"])):
        if expected["counts"].get(key) != found["counts"].get(key):
            differences.append(f"count {key}: recorded {expected['counts'].get(key)}, now {found['counts'].get(key)}")
    for difference in differences[:SHOWN]:
        print(difference, file=sys.stderr)
    if differences:
        print(f"{len(differences)} differences from the recorded study (survey exit status {status}); if the rules "
              "changed on purpose, run tools/realworld-study study --sample again", file=sys.stderr)
        return 1
    print(f"sample: {len(entries)} real reports replay as the study recorded them")
    return 0


