"""Converts real reports and replays them with corvane-vmd: the profiles the
converter writes load, and give the verdicts worked out by hand.

    replay_converted.py WORK_DIR EMULATOR... CORVANE_VMD_EXE
"""
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from test_converter import fixture  # noqa: E402
from report_profile import convert  # noqa: E402

CASES = [
    # The Sony VAIO lists no port connector and no slot, which opens the gate;
    # QEMU's case-sensitive SMBIOS search then finds "qemu" inside an OEM string.
    ("21DF07AF3421", "Notebook/Sony/SVF1521/SVF15212CXW",
     {"type": 3, "gate": "GeneralDetection.checkPhysicalConnectorCount", "decidedBy": "QemuDetection.checkSmbiosTable"}),
    # A KVM guest: no cache structure opens the gate, QEMU's name in the processor structure decides.
    ("9112EC3CC44C", "Desktop/Optimized Hosting/KVM/KVM",
     {"type": 3, "gate": "GeneralDetection.checkCacheMemoryCount", "decidedBy": "QemuDetection.checkSmbiosTable"}),
]


def main(work, command):
    os.makedirs(work, exist_ok=True)
    failures = 0
    for hwid, path, expected in CASES:
        name = f"{hwid}.json"
        with open(os.path.join(work, name), "w", encoding="utf-8") as f:
            json.dump(convert(fixture(hwid, path)), f)
        done = subprocess.run(command + ["replay", name, "--explain", "--json"], cwd=work, capture_output=True, text=True)
        try:
            answer = json.loads(done.stdout)
            got = {"type": answer["verdict"]["type"], "gate": answer["gate"], "decidedBy": answer["decidedBy"]}
        except (ValueError, KeyError, TypeError):
            got = {"exit": done.returncode, "stdout": done.stdout[:200], "stderr": done.stderr[:200]}
        if got != expected:
            failures += 1
            print(f"{hwid}: expected {expected}, got {got}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], [arg for arg in sys.argv[2:] if arg]))
