#!/usr/bin/env python3
"""Checks the release in build/release/: each zip holds exactly the listed
files, the shipped binaries are stripped and carry no link time, each debug
link names its file in the debug zip with that file's CRC, the DLL keeps to its
size, and SHA256SUMS lists both zips' hashes.  The package's own README names
only what the zip holds, under the folder it unpacks to.  THIRD-PARTY-NOTICES.txt,
in both zips, has a section for each component the binaries' link maps show
was linked in, saying which binaries hold it, and none that is not.

A PDB reader, llvm-symbolizer, given the shipped DLL and the zip's PDB side
by side as a debugger finds them, names DetectVM at its export's address.

  check_release_zips.py RELEASE_DIR NAME OBJDUMP OBJCOPY SYMBOLIZER MAP...
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
lib/cmake/CorvaneVMD/CorvaneVMDTargets.cmake
lib/pkgconfig/corvane-vmd.pc README.md LICENSE THIRD-PARTY-NOTICES.txt""".split()
BINARIES = ["bin/CorvaneVMD.dll", "bin/corvane-vmd.exe"]
DEBUG = [binary + ".debug" for binary in BINARIES] + ["bin/CorvaneVMD.pdb", "LICENSE", "THIRD-PARTY-NOTICES.txt"]

# What a file the linker took from outside the build folder is; the first
# match wins.  "archive(member)" for archive members, the path for objects.
COMPONENTS = [
    (r"libmingwex\.a\((lib64_libmingwex_a-)?(dmisc|dtoa|g__fmt|g_[dfx]fmt|gdtoa|gethex|gmisc|hd_init|hexnan|misc|"
     r"qnan|smisc|strtodg|strtodnrp|strtof|strtopx|sum|ulp|mingw_pformat)\.o\)", "gdtoa"),
    (r"/lib(pthread|winpthread)\.a\(", "winpthreads"),
    (r"/libstdc\+\+\.a\(", "libstdc++"),
    (r"/(libgcc|libgcc_eh)\.a\(|/crt(begin|end)\.o$", "libgcc"),
    (r"/x86_64-w64-mingw32/lib/(lib\w+\.a\(|(dll)?crt2u?\.o$)", "mingw-w64 runtime"),
]
DLL_LIMIT = 350_000  # bytes, stripped; docs/performance.md

release, name, objdump, objcopy, symbolizer = sys.argv[1:6]
maps = sys.argv[6:]
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



def pdb_streams(data):
    """The streams of an MSF 7.00 file (a PDB)."""
    block_size, _, _, size, _, block_map = struct.unpack_from("<6I", data, 32)
    gather = lambda blocks, n: b"".join(data[b * block_size:(b + 1) * block_size] for b in blocks)[:n]
    count = -(-size // block_size)
    directory = gather(struct.unpack_from(f"<{count}I", data, block_map * block_size), size)
    sizes = struct.unpack_from(f"<{struct.unpack_from('<I', directory)[0]}I", directory, 4)
    streams, at = [], 4 + 4 * len(sizes)
    for n in sizes:
        blocks = struct.unpack_from(f"<{-(-n // block_size) if n != 0xFFFFFFFF else 0}I", directory, at)
        streams.append(gather(blocks, n))
        at += 4 * len(blocks)
    return streams


# The PDB is the DLL's: the GUID and age of the DLL's CodeView record, and DetectVM among its public names.
dll, pdb = package.get("bin/CorvaneVMD.dll", b""), debug.get("bin/CorvaneVMD.pdb", b"")
record = re.search(rb"RSDS(.{16})(.{4})CorvaneVMD\.pdb\0", dll, re.S)
check(record is not None, "CorvaneVMD.dll names no CorvaneVMD.pdb in its CodeView record")
if record and pdb.startswith(b"Microsoft C/C++ MSF 7.00"):
    streams = pdb_streams(pdb)
    check(streams[1][12:28] + streams[1][8:12] == record.group(1) + record.group(2),
          "CorvaneVMD.pdb's GUID and age are not the DLL's")
    publics = streams[struct.unpack_from("<H", streams[3], 20)[0]]
    check(re.search(rb"\x0e\x11.{10}DetectVM\0", publics, re.S) is not None, "CorvaneVMD.pdb has no public DetectVM")
else:
    check(False, "bin/CorvaneVMD.pdb is not a PDB")

# What a debugger shows for an address inside DetectVM: the stripped DLL alone
# names nothing, so the name can only come from the PDB beside it.
with tempfile.TemporaryDirectory() as work:
    open(f"{work}/CorvaneVMD.dll", "wb").write(dll)
    open(f"{work}/CorvaneVMD.pdb", "wb").write(pdb)
    table = subprocess.run([objdump, "-p", f"{work}/CorvaneVMD.dll"], capture_output=True, text=True).stdout
    names = re.findall(r"^\s*\[\s*(\d+)\] (\w+)$", table.split("[Ordinal/Name Pointer] Table")[-1], re.M)
    addresses = dict(re.findall(r"^\s*\[\s*(\d+)\] \+base\[\s*\d+\]\s+([0-9a-f]+) Export RVA", table, re.M))
    rva = addresses.get(dict((n, i) for i, n in names).get("DetectVM", ""))
    check(rva is not None, "CorvaneVMD.dll exports no DetectVM")
    if rva:
        shown = subprocess.run([symbolizer, f"--obj={work}/CorvaneVMD.dll", "--relative-address", hex(int(rva, 16) + 4)],
                               capture_output=True, text=True).stdout.split("\n")[0]
        check(shown == "DetectVM", f"llvm-symbolizer reads {shown!r} at DetectVM through CorvaneVMD.pdb")

check(len(package.get("bin/CorvaneVMD.dll", b"")) <= DLL_LIMIT,
      f"CorvaneVMD.dll is {len(package.get('bin/CorvaneVMD.dll', b''))} bytes, over {DLL_LIMIT}")

readme = package.get("README.md", b"").decode()
for path in re.findall(r"\b((?:bin|lib|include)/[\w./-]*)", readme):
    check(any(f == path.rstrip("/.") or f.startswith(path.rstrip(".")) for f in PACKAGE + DEBUG),
          f"README.md names {path}, which the zip does not hold")
for stray in ["docs/", "examples/", "tools/", "C:\\CorvaneVMD\\", "## Development"]:
    check(stray not in readme, f"README.md points to {stray}, which is not in the zip")
check(f"{name}\\lib\\CorvaneVMD.lib" in readme and f"{name}/lib/pkgconfig" in readme,
      f"README.md does not link from the unpacked folder {name}")
check(re.search(r"^\| 10 \|", readme, re.M) is not None, "README.md's type table does not explain 10")


def linked_components(map_text):
    linked = re.findall(r"^(/\S+\.a\([^)]+\))", map_text, re.M) + re.findall(r"^LOAD (/\S+\.o)$", map_text, re.M)
    found = {"nlohmann/json"} if "nlohmann" in map_text else set()
    for item in linked:
        component = next((c for pattern, c in COMPONENTS if re.search(pattern, item)), None)
        check(component is not None, f"{item} is linked in, and no notice covers it")
        found.add(component)
    return found - {None}


notices = package.get("THIRD-PARTY-NOTICES.txt", b"").decode()
check(notices == debug.get("THIRD-PARTY-NOTICES.txt", b"").decode(), "the two zips' notices differ")
sections = dict(re.findall(r"^== (.+) ==\nIn: (.+)$", notices, re.M))
for map_path in maps:
    binary = map_path.split("/")[-1].removesuffix(".map")
    linked = linked_components(open(map_path).read())
    listed = {c for c, where in sections.items() if binary in where.split(", ")}
    check(linked == listed, f"THIRD-PARTY-NOTICES.txt: {binary} links {sorted(linked)}, the notices list "
                            f"{sorted(listed)}")

sums = open(f"{release}/SHA256SUMS").read()
want = "".join(f"{hashlib.sha256(open(f'{release}/{z}', 'rb').read()).hexdigest()}  {z}\n"
               for z in (name + ".zip", name + "-debug.zip"))
check(sums == want, f"SHA256SUMS reads\n{sums}not\n{want}")

for failure in failures:
    print("FAIL:", failure)
print(f"{name}: {'release checked' if not failures else f'{len(failures)} failures'}")
sys.exit(1 if failures else 0)
