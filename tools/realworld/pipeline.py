"""Reports through the converter and one `corvane-vmd survey -` process.

Conversion runs in a pool of worker processes (the machine's cores); each
converted profile goes, as one JSON line, down a pipe into a single survey
process, which answers with one line per profile, in order. A report the
converter cannot read, or whose profile the survey cannot read, comes back
with an "error" and is counted, never dropped."""

import json
import multiprocessing
import queue
import subprocess
import threading

from . import report_profile, sample


def convert_one(report):
    """(facts about the report, its profile as one JSON line or None, why not)."""
    facts = {
        "hwid": report.hwid,
        "path": report.path,
        "formFactor": report.form_factor,
        "vendor": report.vendor,
        "model": report.model,
        "acpi": report.acpidump is not None,
        "hypervisor": sample.virtual_machine_kind(report),
    }
    try:
        profile = report_profile.convert(report)
        facts["notMeasurable"] = sorted(report_profile.not_measurable(report))
        return facts, json.dumps(profile, separators=(",", ":"), ensure_ascii=False), None
    except report_profile.ReportError as error:
        return facts, None, str(error) or type(error).__name__
    except Exception as error:  # a fault of the converter is counted and named like a broken report
        return facts, None, f"converter failed: {type(error).__name__}: {error}"


class _Survey:
    """The survey process; the facts of each profile sent wait in a queue for its line."""

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
        # Whatever still waits never got its line: the survey stopped early.
        while not self.waiting.empty():
            self.on_result(self.waiting.get(), {"error": "the survey process ended before replaying it"})

    def send(self, facts, line):
        self.waiting.put(facts)
        try:
            self.process.stdin.write(line + "\n")
        except (BrokenPipeError, OSError):
            pass  # the reader names it when the survey's output ends

    def finish(self):
        try:
            self.process.stdin.close()
        except (BrokenPipeError, OSError):
            pass
        self.reader.join()
        return self.process.wait()


def survey_reports(reports, command, jobs, on_result):
    """Calls on_result(entry) once per report, in the reports' order: the
    report's facts with either the survey's answer (type, name, gate,
    decidedBy, signs) or an "error". Returns the survey's exit status."""

    def answered(facts, answer):
        entry = dict(facts)
        if "error" in answer:
            entry["error"] = "profile reader: " + answer["error"]
        else:
            entry.update({key: answer.get(key) for key in ("type", "name", "gate", "decidedBy", "signs")})
        on_result(entry)

    lock = threading.Lock()  # results come from the reader thread and from here
    survey = _Survey(command, lambda facts, answer: _locked(lock, answered, facts, answer))
    with multiprocessing.Pool(jobs) as pool:
        for facts, line, error in pool.imap(convert_one, reports, chunksize=16):
            if line is None:
                with lock:
                    on_result(dict(facts, error=error))
            else:
                survey.send(facts, line)
    return survey.finish()


def _locked(lock, function, *arguments):
    with lock:
        function(*arguments)
