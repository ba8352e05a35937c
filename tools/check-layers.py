#!/usr/bin/env python3
"""Checks that every #include runs one way: from the programs (command line,
benchmarks, tests) down through the tool libraries to the library's own code,
and that the library's code includes nothing outside its own folders.

Each folder has a layer; a file may include files of its own layer or below.

    tools/check-layers.py          exit 1, naming each include that runs upwards
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# Lowest first.  The first five folders are CorvaneVMD.dll, and nothing else.
LAYERS = [
    ("include/corvane", "the public header"),
    ("win32", "library: the Win32 seam"),
    ("diagnostics", "library: log writer, exception, evidence hook"),
    ("platform", "library: WMI helper and system probes"),
    ("vmdetection", "library: detectors and the detection flow"),
    ("api", "library: the exports"),
    ("toolkit/profile", "tools: machine profiles"),
    ("toolkit/simulation", "tools: the simulated machine"),
    ("toolkit/explain", "tools: the explanation engine"),
    ("toolkit/capture", "tools: capture and replay"),
    ("cli", "program: corvane-vmd"),
    ("bench", "program: corvane-bench"),
    ("tests", "the tests"),
]
# The programs sit side by side: neither includes the other; the tests sit above all.
PEERS = {"cli": {"cli"}, "bench": {"bench"}}
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]', re.M)
SOURCE = re.compile(r"\.(c|cc|cpp|cxx|h|hh|hpp)$")


def layer_of(relative: str):
    for rank, (folder, _) in enumerate(LAYERS):
        if relative == folder or relative.startswith(folder + "/"):
            return rank, folder
    return None


def target_of(include: str):
    if include.startswith("corvane/"):
        include = "include/" + include
    return layer_of(include)


def main() -> int:
    problems = []
    checked = 0
    for path in sorted(ROOT.rglob("*")):
        relative = path.relative_to(ROOT).as_posix()
        if not SOURCE.search(relative) or relative.startswith(("build", ".git", "examples/")):
            continue
        source = layer_of(relative)
        if source is None:
            problems.append(f"{relative}: a source file outside every known folder")
            continue
        checked += 1
        rank, folder = source
        for include in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            target = target_of(include)
            if target is None:
                continue  # a system or third-party header
            target_rank, target_folder = target
            upward = target_rank > rank
            sideways = folder in PEERS and target_folder in dict(LAYERS[10:12]) and target_folder not in PEERS[folder]
            if upward or sideways:
                problems.append(f"{relative}: includes {include} ({LAYERS[target_rank][1]}) "
                                f"from {LAYERS[rank][1]}")
    for problem in problems:
        print("FAIL:", problem)
    print(f"check-layers: {checked} files, {len(problems)} includes against the layers")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
