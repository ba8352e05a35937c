"""The committed sample of real reports and what the sample test must find in
it: every report's verdict, gate, deciding check and signs (or why it is
broken), and the per-step counts over the sample, all as the study found them."""

import collections
import json
import pathlib

from . import sample

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
FOLDER = ROOT / "tests" / "fixtures" / "realworld" / "sample"
EXPECTED = FOLDER / "expected.json"
ANSWER = ("type", "name", "gate", "decidedBy", "signs")


def outcome(entry):
    """What the test compares for one report."""
    if "error" in entry:
        return {"error": entry["error"]}
    return {key: entry[key] for key in ANSWER}


def counts(entries):
    """The per-step numbers of the study, over these reports."""
    replayed = [e for e in entries if "error" not in e]
    signs = collections.Counter(sign for e in replayed for sign in e["signs"])
    return {
        "reports": len(entries),
        "broken": len(entries) - len(replayed),
        "gateOpens": sum(1 for e in replayed if e["gate"]),
        "recognised": sum(1 for e in replayed if e["decidedBy"]),
        "signs": dict(sorted(signs.items())),
    }


def expectations(entries):
    return {
        "format": "corvane-realworld-sample-expectations",
        "version": 1,
        "reports": {e["path"]: outcome(e) for e in sorted(entries, key=lambda e: e["path"])},
        "counts": counts(entries),
    }


def choose_and_write(results, dmi, acpi, run):
    from .reports import iter_reports

    survey = [dict(outcome(e), machine=e["path"]) for e in results]
    virtual = [e["path"] for e in results if e.get("hypervisor")]
    chosen = set(sample.select_sample(survey, virtual=virtual))
    FOLDER.mkdir(parents=True, exist_ok=True)
    sources = {"linuxhw/DMI": run.get("dmiCommit") or "", "linuxhw/ACPI": run.get("acpiCommit") or ""}
    sample.write_sample(iter_reports(dmi, acpi), chosen, str(FOLDER), sources)
    kept = [e for e in results if e["path"] in chosen]
    EXPECTED.write_text(json.dumps(expectations(kept), indent=1, ensure_ascii=False) + "\n", encoding="utf-8")
    print(f"sample: {len(kept)} reports in {FOLDER}")
