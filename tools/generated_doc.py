"""Writing a generated document, or checking that the one in the tree is current."""
import pathlib
import sys


def write_or_check(output: pathlib.Path, text: str, script: str, check: bool) -> int:
    """Writes `text` to `output`; with `check`, only compares and returns 1 when they differ."""
    if check:
        current = output.read_text(encoding="utf-8") if output.exists() else ""
        if current != text:
            print(f"{output.name} is out of date: run {script}", file=sys.stderr)
            return 1
        return 0
    output.write_text(text, encoding="utf-8")
    return 0
