#!/usr/bin/env python3
"""The image checker (tools/check-dll-image.py) against the built DLL, whole and
with one flaw put into a copy each: every rule must pass the shipped DLL and
name the flaw it is there for.

    check_dll_image_test.py CHECKER DLL ALLOW_LIST DEF
"""
import importlib.util
import re
import struct
import sys

module_spec = importlib.util.spec_from_file_location("check_dll_image", sys.argv[1])
checker = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(checker)
data = open(sys.argv[2], "rb").read()
allowed, list_problems = checker.read_allow_list(sys.argv[3])
def_names = checker.read_def(sys.argv[4])
image = checker.Image(data)
optional = struct.unpack_from("<I", data, 0x3C)[0] + 24


def characteristics_cleared(bit):
    copy = bytearray(data)
    struct.pack_into("<H", copy, optional + 70, image.dll_characteristics & ~bit)
    return bytes(copy), allowed, def_names


def section_made_writable(name):
    copy = bytearray(data)
    header = data.index(name.encode().ljust(8, b"\0"), optional)
    flags = struct.unpack_from("<I", copy, header + 36)[0]
    struct.pack_into("<I", copy, header + 36, flags | 0x80000000)  # IMAGE_SCN_MEM_WRITE
    return bytes(copy), allowed, def_names


def import_renamed(old, new):
    """The import's hint/name entry (the name's first whole occurrence) rewritten in place, same length."""
    copy = bytearray(data)
    at = re.search(rb"(?<![A-Za-z_])" + old.encode() + rb"\0", data).start()
    copy[at:at + len(new)] = new.encode()
    return bytes(copy), allowed, def_names


def third_tls_callback():
    """DetectVM's address written after the runtime's callbacks."""
    copy = bytearray(data)
    array = struct.unpack_from("<Q", data, image.offset(image.directories[9][0]) + 24)[0]
    at = image.offset(array - image.image_base) + 8 * len(image.tls_callbacks())
    assert struct.unpack_from("<Q", data, at + 8)[0] == 0, "no room after the callback list"
    struct.pack_into("<Q", copy, at, image.symbol_table()["DetectVM"])
    return bytes(copy), allowed, def_names


def listed(change):
    changed = dict(allowed)
    change(changed)
    return data, changed, def_names


first = sorted(allowed)[0]
# (what is done to the copy, the problem the checker must report (a regular expression); None: none at all)
cases = [
    ("the built DLL", (data, allowed, def_names), None),
    ("no ASLR", characteristics_cleared(0x0040), "characteristic DYNAMIC_BASE not set$"),
    ("no high-entropy VA", characteristics_cleared(0x0020), "characteristic HIGH_ENTROPY_VA not set"),
    ("no NX", characteristics_cleared(0x0100), "characteristic NX_COMPAT not set"),
    ("writable code", section_made_writable(".text"), "section .text is both writable and executable"),
    ("a forbidden import, in other case", import_renamed("GetProcAddress", "virtualPROTECT"),
     "forbidden import: KERNEL32.dll virtualPROTECT$"),
    ("an import nobody listed", import_renamed("GetProcAddress", "GetProcAddresz"),
     "import not on the allow-list: KERNEL32.dll GetProcAddresz"),
    ("an import left off the list", listed(lambda entries: entries.pop(first)),
     rf"import not on the allow-list: \S+ {first[1]}$"),
    ("a listed import gone", listed(lambda entries: entries.update({("kernel32.dll", "Beep"): "r"})),
     "listed but no longer imported: kernel32.dll Beep"),
    ("a third TLS callback", third_tls_callback(), "TLS callback DetectVM is not the C runtime's"),
    ("an export the .def lacks", (data, allowed, def_names[1:]), f"exported but not listed in the .def: {def_names[0]}"),
    ("a .def name not exported", (data, allowed, def_names + ["GetVMFlavour"]),
     "listed in the .def but not exported: GetVMFlavour"),
]

failures = [f"the allow-list itself: {problem}" for problem in list_problems]
for what, (image_bytes, entries, names), expected in cases:
    problems = checker.check(checker.Image(image_bytes), entries, names)
    if expected is None and problems:
        failures.append(f"{what}: unexpected {problems}")
    elif expected is not None and not any(re.match(expected, problem) for problem in problems):
        failures.append(f"{what}: no '{expected}' in {problems}")
print("\n".join(failures) or f"check-dll-image: {len(cases)} cases, each rule named its flaw")
sys.exit(1 if failures else 0)
