#!/usr/bin/env python3
"""Checks the release in build/release/: each zip holds exactly the listed
files, the shipped binaries are stripped and carry no link time, each debug
link names its file in the debug zip with that file's CRC, the DLL keeps to its
size, and SHA256SUMS lists both zips' hashes.

  check_release_zips.py RELEASE_DIR NAME OBJDUMP OBJCOPY
"""
import hashlib
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

PACKAGE = """bin/CorvaneVMD.dll bin/corvane-vmd.exe include/corvane/vmd.h
lib/CorvaneVMD.def lib/CorvaneVMD.lib lib/libCorvaneVMD.dll.a
lib/cmake/CorvaneVMD/CorvaneVMDConfig.cmake lib/cmake/CorvaneVMD/CorvaneVMDConfigVersion.cmake
lib/cmake/CorvaneVMD/CorvaneVMDTargets.cmake lib/cmake/CorvaneVMD/CorvaneVMDTargets-release.cmake
lib/pkgconfig/corvane-vmd.pc README.md LICENSE""".split()
BINARIES = ["bin/CorvaneVMD.dll", "bin/corvane-vmd.exe"]
DEBUG = [binary + ".debug" for binary in BINARIES]
DLL_LIMIT = 1_250_000  # bytes; docs/performance.md

release, name, objdump, objcopy = sys.argv[1:5]
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)


def members(zip_name, expected):
    with zipfile.ZipFile(f"{release}/{zip_name}") as archive:
        listed = sorted(info.filename for info in archive.infolist())
        want = sorted(f"{name}/{f}" for f in expected)
        check(listed == want, f"{zip_name}: extra {sorted(set(listed) - set(want))}, "
                              f"missing {sorted(set(want) - set(listed))}")
        return {f: archive.read(f"{name}/{f}") for f in expected if f"{name}/{f}" in listed}


package = members(name + ".zip", PACKAGE)
debug = members(name + "-debug.zip", DEBUG)

with tempfile.TemporaryDirectory() as work:
    for binary in (b for b in BINARIES if b in package):
        data, path = package[binary], f"{work}/{binary.replace('/', '_')}"
        open(path, "wb").write(data)
        header = struct.unpack_from("<I", data, 0x3C)[0]
        _, _, stamp, _, symbols = struct.unpack_from("<HHIII", data, header + 4)
        check(stamp == 0, f"{binary} carries a link time stamp ({stamp})")
        check(symbols == 0, f"{binary} keeps {symbols} symbols")
        sections = re.findall(r"^\s*\d+\s+(\S+)", subprocess.run([objdump, "-h", path], capture_output=True,
                                                                 text=True, check=True).stdout, re.M)
        check(not any(s.startswith(".debug") for s in sections), f"{binary} keeps debug sections: {sections}")
        subprocess.run([objcopy, "--dump-section", f".gnu_debuglink={path}.link", path, f"{path}.out"],
                       capture_output=True, check=False)
        try:
            link = open(f"{path}.link", "rb").read()
        except OSError:
            failures.append(f"{binary} has no debug link")
            continue
        target, crc = link.split(b"\0", 1)[0].decode(), struct.unpack("<I", link[-4:])[0]
        expected = binary.split("/")[-1] + ".debug"
        check(target == expected, f"{binary}'s debug link names {target}, not {expected}")
        shipped = debug.get(binary + ".debug", b"")
        check(crc == zlib.crc32(shipped), f"{binary}'s debug link CRC {crc:08x} does not match the debug zip's file")
        check(re.search(rb"\.debug_line", shipped) is not None, f"{binary}.debug holds no line table")

check(len(package.get("bin/CorvaneVMD.dll", b"")) <= DLL_LIMIT,
      f"CorvaneVMD.dll is {len(package.get('bin/CorvaneVMD.dll', b''))} bytes, over {DLL_LIMIT}")

sums = open(f"{release}/SHA256SUMS").read()
want = "".join(f"{hashlib.sha256(open(f'{release}/{z}', 'rb').read()).hexdigest()}  {z}\n"
               for z in (name + ".zip", name + "-debug.zip"))
check(sums == want, f"SHA256SUMS reads\n{sums}not\n{want}")

for failure in failures:
    print("FAIL:", failure)
print(f"{name}: {'release checked' if not failures else f'{len(failures)} failures'}")
sys.exit(1 if failures else 0)
