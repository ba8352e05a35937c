#!/usr/bin/env python3
"""Checks that every build target a script in tools/ builds (`--target X`)
exists in a build folder, so that a change which drops or renames one fails
CI instead of the script on someone's first run.

    tools/check-script-targets.py BUILD_DIR [NINJA]

A target list kept in a shell variable (`--target $targets`) is read from the
variable's default in the same script: `targets=${OVERRIDE:-'a b c'}`.
The targets seeded faults name (`targets:` lines of tools/mutation-faults.txt)
are checked alike.
"""
import pathlib
import re
import shlex
import subprocess
import sys

tools = pathlib.Path(__file__).resolve().parent
if len(sys.argv) not in (2, 3) or sys.argv[1] in ("-h", "--help"):
    sys.exit("usage: tools/check-script-targets.py BUILD_DIR [NINJA]")
build = sys.argv[1]
ninja = sys.argv[2] if len(sys.argv) > 2 else "ninja"
if not (pathlib.Path(build) / "build.ninja").is_file():
    sys.exit(f"check-script-targets: {build} is no Ninja build folder (configure it first: cmake --preset mingw)")


def variable_default(script_text, name):
    match = re.search(rf"^{name}=\$\{{\w+:-'([^']*)'\}}", script_text, re.M) or \
        re.search(rf"^{name}=['\"]([^'\"]*)['\"]", script_text, re.M)
    return match.group(1).split() if match else None


named = {}  # target -> the scripts that build it
problems = []
for script in sorted(tools.glob("*.sh")):
    text = script.read_text(encoding="utf-8")
    for words in re.findall(r"--target ([^>)&;|\n]*)", text):
        for word in shlex.split(words, comments=True):
            if word == "$@":  # the caller's: mutation-test.sh passes a fault's own targets (below)
                continue
            variable = re.fullmatch(r"\$\{?(\w+)\}?", word)
            targets = variable_default(text, variable.group(1)) if variable else [word]
            if targets is None:
                problems.append(f"{script.name}: cannot read the targets in ${variable.group(1)}")
                continue
            for target in targets:
                named.setdefault(target, []).append(script.name)

# The targets a seeded fault needs beyond the runner's own (`targets:` lines).
for line in (tools / "mutation-faults.txt").read_text(encoding="utf-8").splitlines():
    if line.startswith("targets:"):
        for target in line.partition(":")[2].split():
            named.setdefault(target, []).append("mutation-faults.txt")

listing = subprocess.run([ninja, "-C", build, "-t", "targets", "all"], capture_output=True, text=True, check=True)
known = {line.rsplit(": ", 1)[0] for line in listing.stdout.splitlines()}
for target, scripts in sorted(named.items()):
    if target not in known:
        problems.append(f"{', '.join(sorted(set(scripts)))}: no target '{target}' in {build}")

if not named:
    problems.append("no script in tools/ names a build target: is the pattern still right?")
print("\n".join(problems) if problems else
      f"script_targets: the {len(named)} targets that tools/*.sh build exist: {' '.join(sorted(named))}")
sys.exit(1 if problems else 0)
