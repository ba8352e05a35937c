"""docs/real-world.json and docs/real-world.md from the study's results: one
entry per report, with the facts of the report and, when it was replayed, the
survey's answer (type, name, gate, decidedBy, signs)."""

import collections

from .report_profile import ACPI_READERS

EXAMPLES = 3          # hardware IDs shown beside each step
MACHINES_SHOWN = 12   # machines listed under each product claimed on physical machines


def is_physical(entry):
    return not entry.get("hypervisor")


def replayed(entry):
    return "error" not in entry


def open_to_real_tables(entry, checks):
    """Whether the machine's own ACPI tables could change this verdict: the report came without them, the
    gate is open, and no check asked before the first one that reads the tables decided."""
    if entry.get("acpi") or not entry.get("gate"):
        return False
    first = min(checks.index(name) for name in ACPI_READERS if name in checks)
    return not entry["decidedBy"] or checks.index(entry["decidedBy"]) >= first


def summarise(results, steps, checks, run, family=None):
    """The numbers a program reads: under the names `--explain --json` uses. `family` gives, by report
    path, the verdict of a virtual machine without its ACPI tables with its hypervisor family's tables."""
    family = family or {}
    physical = [e for e in results if replayed(e) and is_physical(e)]
    # A sign on a machine that cannot measure its check rests on an assumption: it is not counted.
    shows = collections.Counter(sign for e in physical for sign in e["signs"] if sign not in e.get("notMeasurable", []))
    unmeasured = collections.Counter(name for e in physical for name in e.get("notMeasurable", []))
    forms = collections.Counter(e["formFactor"] for e in results)
    claimed = collections.Counter(e["name"] for e in physical if e["decidedBy"])
    broken = sorted((e for e in results if not replayed(e)), key=lambda e: e["path"])
    return {
        "format": "corvane-real-world-study",
        "version": 1,
        "run": run,
        "reports": {
            "read": len(results),
            "withAcpi": sum(1 for e in results if e.get("acpi")),
            "converted": sum(1 for e in results if replayed(e)),
            "broken": len(broken),
            "physical": len(physical),
            "virtual": sum(1 for e in results if replayed(e) and not is_physical(e)),
        },
        "formFactors": dict(sorted(forms.items())),
        "gateOpens": sum(1 for e in physical if e["gate"]),
        "gateOpenedBy": {step: sum(1 for e in physical if e["gate"] == step) for step in steps},
        "generalSteps": {step: shows[step] for step in steps},
        "productChecks": {check: shows[check] for check in checks},
        "productsClaimed": dict(sorted(claimed.items())),
        "openToRealTables": sum(1 for e in physical if open_to_real_tables(e, checks)),
        "notMeasurable": {name: unmeasured[name] for name in sorted(unmeasured)},
        "virtualMachines": [_virtual_machine(e, checks, family.get(e["path"])) for e in sorted(
            (e for e in results if replayed(e) and not is_physical(e)), key=lambda e: e["path"])],
        "broken": [{"hwid": e["hwid"], "path": e["path"], "error": e["error"]} for e in broken],
    }


def _virtual_machine(entry, checks, with_family_tables):
    facts = {key: entry[key] for key in ("hwid", "path", "hypervisor", "acpi", "type", "name", "gate", "decidedBy")}
    facts["openToRealTables"] = open_to_real_tables(entry, checks)
    facts["withFamilyTables"] = with_family_tables
    return facts


def share(count, total):
    """A share of machines as every document and `--explain` print it: one decimal place, two
    significant digits below 0.1% so that a rare sign never reads as none; "-" when none was measured."""
    if not total:
        return "-"
    percent = 100.0 * count / total
    return f"{percent:.1f}%" if percent >= 0.1 or count == 0 else f"{percent:.2g}%"


def number(count):
    return f"{count:,}"


def cell(text):
    return str(text).replace("|", "\\|").replace("\n", " ").strip()


def hwids(entries, limit=EXAMPLES):
    shown = [f"`{e['hwid']}` ({cell(e['vendor'])} {cell(e['model'])})" for e in entries[:limit]]
    return ", ".join(shown) + (f", and {number(len(entries) - limit)} more" if len(entries) > limit else "")


def assumptions(described):
    return "\n".join(f"- {cell(line)}" for line in described) or "- (none)"


def standing_out(summary, results, physical):
    """What stands out in the numbers, worked out from them. Every share of a step here is the share of
    physical machines on which it opens the gate (is the first step with a sign), never of those on which
    it shows: the table below gives those."""
    total = len(physical)
    out = ["## What stands out\n", "Shares of steps below are of the physical machines on which the step *opens "
           "the gate* (is the first with a sign); the table of general steps also gives how many it *shows* on.\n"]
    openers = sorted(summary["gateOpenedBy"].items(), key=lambda item: -item[1])
    leading = [(step, count) for step, count in openers if count][:2]
    if leading and summary["gateOpens"]:
        led = sum(count for _, count in leading)
        out.append("- " + " and ".join(f"`{step.split('.', 1)[1]}` opens the gate on {share(count, total)}"
                                       for step, count in leading)
                   + f" of the physical machines: together {share(led, summary['gateOpens'])} of the machines on "
                   "which the gate opens, SMBIOS tables that describe no slots or no port connectors.")
    claimed = sum(summary["productsClaimed"].values())
    out.append(f"- A product is claimed on {number(claimed)} of {number(total)} physical machines "
               f"({share(claimed, total)}), with their own SMBIOS and, where the report has them, their own ACPI "
               f"tables. {number(summary['openToRealTables'])} physical machines "
               f"({share(summary['openToRealTables'], total)}) came without ACPI tables and have the gate open: "
               "their verdict could change with their real tables, which no report shows.")
    unreached = [(check, count) for check, count in summary["productChecks"].items()
                 if count and not any(e["decidedBy"] == check for e in physical)]
    if unreached:
        out.append("- Product checks that show on physical machines without deciding anything, because the gate "
                   "stayed closed there or an earlier check decided: "
                   + ", ".join(f"`{check}` ({number(count)})" for check, count in unreached) + ".")
    machines = summary.get("virtualMachines", [])
    if machines:
        own = [m for m in machines if m["acpi"]]
        recognised = [m for m in own if m["decidedBy"]]
        family = [m for m in machines if not m["acpi"] and m["withFamilyTables"]]
        family_recognised = [m for m in family if m["withFamilyTables"]["decidedBy"]]
        out.append(f"- {number(len(machines) - len(own))} of the {number(len(machines))} virtual machines of the "
                   "collection come without their ACPI tables, so the checks that read those tables are not "
                   f"measured on them; {number(len(recognised))} of the {number(len(own))} that have their own "
                   "tables are recognised as a product. Given their hypervisor family's own tables as booted "
                   f"here ([the rules on real hypervisor firmware](hypervisor-firmware.md)), "
                   f"{number(len(family_recognised))} of {number(len(family))} are.")
    out.append("")
    return out


def render(summary, results, assumed):
    reports = summary["reports"]
    run = summary["run"]
    physical = [e for e in results if replayed(e) and is_physical(e)]
    total = len(physical)
    out = []
    out.append("# The rules on real machines\n")
    out.append(
        "How often do our rules misjudge a real physical PC? This page answers with a measurement: every "
        "`dmidecode` report of the public linuxhw/DMI collection (real computers, uploaded by Linux users "
        "with the hw-probe tool), together with the `acpidump` report of linuxhw/ACPI where a machine has "
        "one, converted to a machine profile and replayed through the library's own checks by "
        "`corvane-vmd survey`. Both collections are CC-BY-4.0, by the Linux Hardware Project.\n")
    out.append(
        "A report holds the firmware's SMBIOS structures and, for some machines, its ACPI tables. It does "
        "not hold registry, files, processes, network adapters, disks, video controller or power "
        "capabilities: those take the values of a typical physical Windows machine, listed under "
        "[Assumptions](#assumptions) (`tools/realworld/assumed.py` defines them), and every number below holds under them. A step that reads only "
        "anonymised fields (\"--\") is not measurable on that machine and is counted apart. So are the checks "
        "that read the ACPI tables on a report that comes without them (most do): they are never counted as a "
        "sign's absence, and a verdict those checks could still change is marked as such.\n")
    out.append(
        "This file and `docs/real-world.json` are generated by `tools/realworld-study study`; never edit them by "
        "hand. To run the study again (about a gigabyte of git objects):\n")
    out.append("```sh\n"
               "git clone https://github.com/linuxhw/DMI.git && git clone https://github.com/linuxhw/ACPI.git\n"
               "tools/realworld-study study DMI --acpi ACPI --run wine --exe build/cli/corvane-vmd.exe\n"
               "```\n")

    out.append("## The run\n")
    limit = (f" (the first {number(run['limit'])} in path order only: form factor first, so no sample of the "
             "collection)" if run.get("limit") else "")
    if run.get("stopped"):
        limit = (" (**a partial run**: stopped before its end; reports are read in the order of their paths, "
                 "form factor first, so the later form factors are missing or short)")
    out.append(f"- Reports read: {number(reports['read'])}{limit}, {number(reports['withAcpi'])} of them with ACPI tables")
    out.append(f"- Converted and replayed: {number(reports['converted'])}: {number(reports['physical'])} physical "
               f"machines, {number(reports['virtual'])} virtual machines")
    out.append(f"- Broken reports: {number(reports['broken'])} (named [below](#broken-reports))")
    if run.get("seconds"):
        rate = reports["read"] / run["seconds"] if run["seconds"] else 0
        out.append(f"- Time: {run['seconds'] // 60} min {run['seconds'] % 60} s on {run.get('cores')} cores, "
                   f"conversion included ({rate:,.0f} reports a second), on {run.get('date')}")
    if run.get("slices"):
        out.append(f"- Run as {run['slices']} slices of the collection, joined in path order; no one time measures "
                   "the whole run")
    for key, name in (("dmiCommit", "linuxhw/DMI"), ("acpiCommit", "linuxhw/ACPI")):
        if run.get(key):
            out.append(f"- {name} at commit `{run[key]}`")
    out.append("")

    out += standing_out(summary, results, physical)

    out.append("## Reports by form factor\n")
    out.append("| Form factor | Reports | Physical, replayed | Virtual, replayed | Broken |")
    out.append("|---|---:|---:|---:|---:|")
    for form in summary["formFactors"]:
        of = [e for e in results if e["formFactor"] == form]
        out.append(f"| {cell(form)} | {number(len(of))} | "
                   f"{number(sum(1 for e in of if replayed(e) and is_physical(e)))} | "
                   f"{number(sum(1 for e in of if replayed(e) and not is_physical(e)))} | "
                   f"{number(sum(1 for e in of if not replayed(e)))} |")
    out.append("")

    out.append("## The general steps on physical machines\n")
    out.append(
        f"The gate opens on **{number(summary['gateOpens'])} of {number(total)} physical machines "
        f"({share(summary['gateOpens'], total)})**: on those, DetectVM goes on to ask the product detectors. "
        "\"Shows\" counts every machine on which the step finds a sign, whether or not an earlier step "
        "opened the gate first; \"opens the gate\" counts the machines on which it is the first.\n")
    out.append("The share is of the machines on which the step could be measured. Three steps read only facts "
               "a report does not hold (`checkDiskDriveHardwareIds`, `checkPowerCapabilities`, "
               "`checkVideoControllerCaption`): their rows give what the assumed machine answers, not a "
               "measurement.\n")
    out.append("| Step | Shows on | Measured on | Share | Opens the gate | For example |")
    out.append("|---|---:|---:|---:|---:|---|")
    unmeasured = summary["notMeasurable"]
    for step, count in summary["generalSteps"].items():
        showing = sorted((e for e in physical if step in e["signs"]), key=lambda e: e["hwid"])
        measured = total - unmeasured.get(step, 0)
        out.append(f"| `{step.split('.', 1)[1]}` | {number(count)} | {number(measured)} | {share(count, measured)} | "
                   f"{number(summary['gateOpenedBy'][step])} | {hwids(showing) or '-'} |")
    out.append("")

    out.append("## Products claimed on physical machines\n")
    claims = collections.defaultdict(list)
    for e in physical:
        if e["decidedBy"]:
            claims[(e["name"], e["type"], e["decidedBy"], e["gate"])].append(e)
    if not claims:
        out.append("None: no physical machine of the collection is reported as a virtual machine.\n")
    for (name, type_, decided, gate), machines in sorted(claims.items(), key=lambda item: -len(item[1])):
        machines.sort(key=lambda e: e["hwid"])
        plural = "s" if len(machines) != 1 else ""
        out.append(f"### {cell(name)} (type {type_}) on {number(len(machines))} physical machine{plural} "
                   f"({share(len(machines), total)})\n")
        out.append(f"The gate opened on `{gate}`; `{decided}` decided.\n")
        out.append(hwids(machines, MACHINES_SHOWN) + "\n")
    out.append("")

    out.append("## Product checks that show on physical machines\n")
    out.append("Counted whether or not DetectVM reaches them: a product check is asked only once the gate is open. "
               "The share is of the machines on which the check could be measured: the checks that read the ACPI "
               "tables only on those whose report has them.\n")
    out.append("| Check | Shows on | Measured on | Share | For example |")
    out.append("|---|---:|---:|---:|---|")
    shown_any = False
    for check, count in summary["productChecks"].items():
        if not count:
            continue
        shown_any = True
        showing = sorted((e for e in physical if check in e["signs"] and check not in e.get("notMeasurable", [])),
                         key=lambda e: e["hwid"])
        measured = total - unmeasured.get(check, 0)
        out.append(f"| `{check}` | {number(count)} | {number(measured)} | {share(count, measured)} | {hwids(showing)} |")
    if not shown_any:
        out.append("| (none) | 0 | - | - | - |")
    out.append("")

    out.append("## The virtual machines in the collection\n")
    out.append("Told from each report's own firmware strings (the system's manufacturer and product name, the "
               "BIOS vendor), not from our verdict. A report without its ACPI tables has the checks that read them "
               "unmeasured: its verdict is marked *could change* where those checks could still decide, and the "
               "last column gives the verdict with its hypervisor family's own tables, as booted here "
               "([the rules on real hypervisor firmware](hypervisor-firmware.md)).\n")
    out.append("| Hardware ID | Report | Hypervisor | Own ACPI tables | Verdict | Gate opened by | Deciding check "
               "| With the family's tables |")
    out.append("|---|---|---|---|---|---|---|---|")
    machines = {m["path"]: m for m in summary.get("virtualMachines", [])}
    for e in sorted((e for e in results if not is_physical(e)), key=lambda e: (e["hypervisor"], e["hwid"])):
        family = "-"
        if replayed(e):
            facts = machines.get(e["path"], {})
            verdict = f"{cell(e['name']) or 'none'} ({e['type']})" + (", *could change*" if facts.get(
                "openToRealTables") else "")
            gate = f"`{e['gate'].split('.', 1)[1]}`" if e["gate"] else "closed"
            decided = f"`{e['decidedBy']}`" if e["decidedBy"] else "-"
            got = facts.get("withFamilyTables")
            if got:
                family = (f"{cell(got['name']) or 'none'} ({got['type']})"
                          + (f", `{got['decidedBy']}`" if got["decidedBy"] else "") + f" (`{got['tables']}`)")
        else:
            verdict, gate, decided = f"broken: {cell(e['error'])}", "-", "-"
        out.append(f"| `{e['hwid']}` | {cell(e['path'])} | {e['hypervisor']} | {'yes' if e.get('acpi') else 'no'} | "
                   f"{verdict} | {gate} | {decided} | {family} |")
    out.append("")

    out.append("## Assumptions\n")
    out.append("What a report does not hold, and what every machine is given in its place:\n")
    out.append(assumptions(assumed) + "\n")

    out.append("## Not measurable\n")
    out.append("Physical machines on which a check cannot be measured: it reads only anonymised fields there, or "
               "it reads the ACPI tables and the report has none. Such a machine is left out of the check's share, "
               "never counted as one without the sign:\n")
    out.append("| Check | Machines |")
    out.append("|---|---:|")
    for name, count in summary["notMeasurable"].items():
        out.append(f"| `{name}` | {number(count)} |")
    if not summary["notMeasurable"]:
        out.append("| (none) | 0 |")
    out.append("")

    out.append("## Broken reports\n")
    out.append(f"Reports that could not be converted or replayed: {number(reports['broken'])}. Each is named "
               "here with the reason; the shares above leave them out, and nothing else. \"profile reader\" "
               "marks a report the converter turned into a profile that `corvane-vmd` would not read.\n")
    if summary["broken"]:
        out.append("| Hardware ID | Report | Why |")
        out.append("|---|---|---|")
        for b in summary["broken"]:
            out.append(f"| `{b['hwid']}` | {cell(b['path'])} | {cell(b['error'])} |")
    return "\n".join(out).rstrip() + "\n"
