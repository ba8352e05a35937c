#!/usr/bin/env python3
"""Checks the shipped CorvaneVMD.dll's image against what a host may expect of it.

    tools/check-dll-image.py DLL ALLOW_LIST DEF [--map MAP --suggest]

- Imports: exactly the functions of ALLOW_LIST (api/CorvaneVMD.imports), each
  with its reason; an import not on the list, a listed one no longer imported
  and a listed one without a reason all fail.  The names of FORBIDDEN fail in
  any case, listed or not.
- Characteristics: ASLR (DYNAMIC_BASE, with a relocation table), high-entropy
  VA, NX; no section both writable and executable.
- TLS callbacks: only the C runtime's own.  With the symbol table of the
  build's DLL they are named; a stripped DLL may have no more than their count.
- The symbol table, when present: no winpthreads, no emulated TLS variable
  beyond the runtime's exception globals, an empty pseudo-relocation list.
- Exports: exactly the names under EXPORTS in DEF.

With --suggest and the link map, prints a line for each import missing from
the list, naming the part of the link that first asked for it.  With
--describe DLL LOAD_REPORT, prints the image's size and imports, and the load
times of corvane-bench --load-cycles, as JSON (tools/run-benchmarks.sh).
"""
import json
import re
import struct
import sys

# Scored by heuristic scanners as injection, evasion or file tampering: never imported.
FORBIDDEN = ["GetThreadContext", "SetThreadContext", "SuspendThread", "OpenProcess", "SetProcessAffinityMask",
             "AddVectoredExceptionHandler", "SetSystemTime", "VirtualProtect", "DeleteFileW", "MoveFileExW",
             "CreateHardLinkW", "RemoveDirectoryW"]
# The mingw-w64 runtime's TLS callbacks (tlssup.c): thread-local data set up and torn down.
RUNTIME_TLS_CALLBACKS = {"__dyn_tls_init", "__dyn_tls_dtor"}
# libstdc++'s per-thread exception globals, the one emulated TLS variable the runtime brings.
RUNTIME_EMUTLS = {"__emutls_v._ZZN12_GLOBAL__N_110get_globalEvE6global"}

IMAGE_DLLCHARACTERISTICS = {"HIGH_ENTROPY_VA": 0x0020, "DYNAMIC_BASE": 0x0040, "NX_COMPAT": 0x0100}
SCN_MEM_EXECUTE, SCN_MEM_WRITE = 0x20000000, 0x80000000


class Image:
    """The parts of a PE32+ image the checks read."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        _, sections, _, self.symtab, self.symbols, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x20B:
            raise ValueError("not a 64-bit (PE32+) image")
        self.image_base = struct.unpack_from("<Q", data, optional + 24)[0]
        self.dll_characteristics = struct.unpack_from("<H", data, optional + 70)[0]
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("latin-1")
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, at + 8)
            flags = struct.unpack_from("<I", data, at + 36)[0]
            self.sections.append((name, va, max(vsize, rsize), raw, flags))

    def offset(self, rva):
        for _, va, size, raw, _ in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def string(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("latin-1")

    def imports(self):
        """(module, function) pairs; a function imported by ordinal is '#<ordinal>'."""
        rva, size = self.directories[1]
        found = []
        at = self.offset(rva) if size else 0
        while size:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                break
            module = self.string(name)
            entry = self.offset(lookup or thunks)
            while (thunk := struct.unpack_from("<Q", self.data, entry)[0]) != 0:
                found.append((module, f"#{thunk & 0xFFFF}" if thunk >> 63 else self.string((thunk & 0x7FFFFFFF) + 2)))
                entry += 8
            at += 20
        return found

    def exports(self):
        rva, size = self.directories[0]
        if not size:
            return []
        count, names = (struct.unpack_from("<I", self.data, self.offset(rva) + at)[0] for at in (24, 32))
        return [self.string(struct.unpack_from("<I", self.data, self.offset(names) + 4 * i)[0]) for i in range(count)]

    def tls_callbacks(self):
        """The callbacks' addresses (VAs) in the TLS directory's list."""
        rva, size = self.directories[9]
        if not size:
            return []
        array = struct.unpack_from("<Q", self.data, self.offset(rva) + 24)[0]
        callbacks, at = [], self.offset(array - self.image_base)
        while (address := struct.unpack_from("<Q", self.data, at)[0]) != 0:
            callbacks.append(address)
            at += 8
        return callbacks

    def symbol_table(self):
        """{name: value} from the COFF symbol table the build's DLL keeps; empty when stripped."""
        if not self.symtab or not self.symbols:
            return {}
        strings = self.symtab + 18 * self.symbols
        table, i = {}, 0
        while i < self.symbols:
            at = self.symtab + 18 * i
            raw = self.data[at:at + 8]
            if raw[:4] == b"\0\0\0\0":
                start = strings + struct.unpack_from("<I", raw, 4)[0]
                name = self.data[start:self.data.index(b"\0", start)].decode("latin-1")
            else:
                name = raw.rstrip(b"\0").decode("latin-1")
            value, section = struct.unpack_from("<Ih", self.data, at + 8)
            if section > 0:  # relative to its section: made a VA like the TLS list's
                table[name] = self.image_base + self.sections[section - 1][1] + value
            i += 1 + self.data[at + 17]
        return table


def read_allow_list(path):
    """{(module lower-case, function): reason}, and the problems of the file itself."""
    allowed, problems = {}, []
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = line.split(None, 2)
        if len(fields) < 3 or not fields[2].strip():
            problems.append(f"{path}:{number}: '{line.strip()}' gives no reason")
            continue
        key = (fields[0].lower(), fields[1])
        if key in allowed:
            problems.append(f"{path}:{number}: {fields[0]} {fields[1]} is listed twice")
        allowed[key] = fields[2].strip()
    return allowed, problems


def read_def(path):
    text = open(path, encoding="utf-8").read()
    names = []
    for line in text.split("EXPORTS", 1)[1].splitlines():
        name = re.sub(r";.*", "", line).strip()
        name = re.sub(r"\s+DATA$", "", name)
        if name:
            names.append(name)
    return names


def check(image, allowed, def_names):
    """Every problem of the image, as lines of text."""
    problems = []
    imported = image.imports()
    keys = {(module.lower(), function) for module, function in imported}
    forbidden = {name.lower() for name in FORBIDDEN}
    for module, function in sorted(imported):
        if function.lower() in forbidden:
            problems.append(f"forbidden import: {module} {function}")
        elif (module.lower(), function) not in allowed:
            problems.append(f"import not on the allow-list: {module} {function}")
    for module, function in sorted(allowed):
        if (module, function) not in keys:
            problems.append(f"listed but no longer imported: {module} {function}")

    for flag, bit in IMAGE_DLLCHARACTERISTICS.items():
        if not image.dll_characteristics & bit:
            problems.append(f"characteristic {flag} not set")
    if not image.directories[5][1]:
        problems.append("no relocation table: the image cannot move, whatever DYNAMIC_BASE says")
    for name, _, _, _, flags in image.sections:
        if flags & SCN_MEM_WRITE and flags & SCN_MEM_EXECUTE:
            problems.append(f"section {name} is both writable and executable")

    symbols = image.symbol_table()
    callbacks = image.tls_callbacks()
    if symbols:
        names = {value: name for name, value in symbols.items()}
        for address in callbacks:
            if names.get(address) not in RUNTIME_TLS_CALLBACKS:
                problems.append(f"TLS callback {names.get(address, hex(address))} is not the C runtime's")
        for name in sorted(symbols):
            if "pthread" in name.lower():
                problems.append(f"winpthreads linked in: {name}")
            if name.startswith("__emutls_v.") and name not in RUNTIME_EMUTLS:
                problems.append(f"emulated thread-local variable: {name}")
        start, end = symbols.get("__RUNTIME_PSEUDO_RELOC_LIST__"), symbols.get("__RUNTIME_PSEUDO_RELOC_LIST_END__")
        if start != end:
            problems.append("the pseudo-relocation list is not empty")
    elif len(callbacks) > len(RUNTIME_TLS_CALLBACKS):
        problems.append(f"{len(callbacks)} TLS callbacks, more than the C runtime's {len(RUNTIME_TLS_CALLBACKS)}")

    exported = image.exports()
    for name in sorted(set(def_names) - set(exported)):
        problems.append(f"listed in the .def but not exported: {name}")
    for name in sorted(set(exported) - set(def_names)):
        problems.append(f"exported but not listed in the .def: {name}")
    return problems


def suggest(image, allowed, map_path):
    """Lines for the allow-list: each missing import with what first asked for it in the link."""
    asked = {}
    lines = open(map_path, encoding="utf-8", errors="replace").read().split("\n")
    for member, reference in zip(lines, lines[1:]):
        if re.search(r"\.a\(\w+s\d+\.o\)$", member) and reference.startswith(" "):
            found = re.match(r"\s*(\S+) \((?:__imp_)?([^)]+)\)", reference)
            if found:
                asked.setdefault(found.group(2), re.sub(r"^.*/", "", found.group(1)))
    for module, function in image.imports():
        if (module.lower(), function) not in allowed:
            print(f"{module:14} {function:34} {asked.get(function, '?')}")


def describe(dll, load_report):
    data = open(dll, "rb").read()
    image = Image(data)
    load = json.load(open(load_report, encoding="utf-8"))
    return {"format": "corvane-dll-image", "label": load["conditions"]["label"], "bytes": len(data),
            "imports": len(image.imports()), "modules": len({m.lower() for m, _ in image.imports()}),
            "tlsCallbacks": len(image.tls_callbacks()), "load": load["loadCycles"]}


def main(argv):
    if len(argv) == 4 and argv[1] == "--describe":
        print(json.dumps(describe(argv[2], argv[3]), indent=2))
        return 0
    if len(argv) < 4:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    image = Image(open(argv[1], "rb").read())
    allowed, problems = read_allow_list(argv[2])
    if "--suggest" in argv:
        suggest(image, allowed, argv[argv.index("--map") + 1])
        return 0
    problems += check(image, allowed, read_def(argv[3]))
    for problem in problems:
        print(f"FAIL: {problem}")
    print(f"{len(image.imports())} imports, {len(image.exports())} exports, "
          f"{len(image.tls_callbacks())} TLS callbacks, flags {image.dll_characteristics:#06x}")
    if not problems:
        print("check-dll-image: the image keeps to its allow-list and characteristics")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
