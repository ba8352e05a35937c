"""tools/realworld-study COMMAND [ARGUMENTS]: the study's commands.

    study          the rules on every report of the collections: docs/real-world.{md,json}
    firmware       the rules on the hypervisor firmware booted here: docs/hypervisor-firmware.md
    shares         toolkit/explain/StudyShares.h from docs/real-world.json
    check-sample   the committed sample replays as the study recorded it
    convert        one report to a machine profile, or every report counted
"""
import importlib
import sys

COMMANDS = {"study": "study", "firmware": "firmware", "shares": "shares", "check-sample": "check_sample",
            "convert": "convert"}


def main(argv):
    if not argv or argv[0] not in COMMANDS:
        print(__doc__.strip(), file=sys.stderr)
        return 0 if argv and argv[0] in ("-h", "--help") else 2
    module = importlib.import_module(f".{COMMANDS[argv[0]]}", __package__)
    return module.main(argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
