#!/usr/bin/env python3
"""corvane-vmd's synopsis is one text in three places. --help draws it from the
command table (cli/Commands.cpp: "corvane-vmd " and each command's synopsis,
in table order) and ends it with its own "--help | --version" line
(cli/Help.cpp); README.md and docs/cli.md each copy it into a code block.
Exits 1, naming each copy that differs; a new command's row must reach both.

    tests/cli/check_synopsis.py
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]

# Where each copy stands: the first code block after this text.
COPIES = {"README.md": "### The command line: `corvane-vmd`", "docs/cli.md": "# corvane-vmd"}

ROW = re.compile(r'Command\{\s*"[^"]*",\s*"([^"]*)"')
HELP_LINE = re.compile(r'"  (corvane-vmd --help[^"\\]*)\\n')
CODE_BLOCK = re.compile(r"^```[^\n]*\n(.*?)^```", re.M | re.S)


def from_help():
    rows = ROW.findall((ROOT / "cli" / "Commands.cpp").read_text(encoding="utf-8"))
    last = HELP_LINE.findall((ROOT / "cli" / "Help.cpp").read_text(encoding="utf-8"))
    if not rows or len(last) != 1:
        sys.exit("cannot read the synopsis from cli/Commands.cpp and cli/Help.cpp")
    return ["corvane-vmd " + row for row in rows] + last


def copy_in(document, heading):
    text = (ROOT / document).read_text(encoding="utf-8")
    start = text.find(heading)
    block = CODE_BLOCK.search(text, start) if start >= 0 else None
    return block.group(1).splitlines() if block else None


def main():
    synopsis = from_help()
    wrong = 0
    for document, heading in COPIES.items():
        copy = copy_in(document, heading)
        if copy != synopsis:
            wrong += 1
            print(f"{document}: the synopsis after '{heading}' is not --help's", file=sys.stderr)
            print("  it reads:\n    " + "\n    ".join(copy or ["(no code block)"]), file=sys.stderr)
    if wrong:
        print("  --help's (cli/Commands.cpp):\n    " + "\n    ".join(synopsis), file=sys.stderr)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
