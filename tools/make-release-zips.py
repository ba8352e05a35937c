#!/usr/bin/env python3
"""Zips an installed CorvaneVMD tree into the release and its debug zip, and
writes SHA256SUMS beside them.

The zips come out byte for byte the same from the same files: entries sorted,
every time stamp the commit's time (SOURCE_DATE_EPOCH, else `git log -1
--format=%ct` of the sources), fixed permissions and compression.

  make-release-zips.py --stage DIR --name NAME --out DIR [--source DIR]
"""
import argparse
import hashlib
import os
import subprocess
import sys
import time
import zipfile


def commit_time(source):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                             check=True, capture_output=True, text=True).stdout
        return int(out.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        sys.exit("make-release-zips: no SOURCE_DATE_EPOCH and no git commit in " + source)


def write_zip(path, stage, files, prefix, epoch):
    # Zip times are local calendar times without a zone: the commit's UTC time
    # is used, and 1980 is the earliest a zip can hold.
    stamp = max(time.gmtime(epoch)[:6], (1980, 1, 1, 0, 0, 0))
    with zipfile.ZipFile(path, "w") as archive:
        for name in files:
            info = zipfile.ZipInfo(prefix + "/" + name, date_time=stamp)
            info.create_system = 3  # Unix, so the permissions below are read
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(stage, name), "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--stage", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--source", default=".")
    args = parser.parse_args()

    epoch = commit_time(args.source)
    files = sorted(os.path.relpath(os.path.join(root, f), args.stage).replace(os.sep, "/")
                   for root, _, names in os.walk(args.stage) for f in names)
    # Debug files: the DWARF the binaries link to, and the DLL's PDB for Windows debuggers.
    symbols = (".debug", ".pdb")
    package = [f for f in files if not f.endswith(symbols)]
    # The debug files hold the same code, so the same licences go with them.
    debug = [f for f in files if f.endswith(symbols)] + ["LICENSE", "THIRD-PARTY-NOTICES.txt"]

    zips = [(args.name + ".zip", package), (args.name + "-debug.zip", debug)]
    os.makedirs(args.out, exist_ok=True)
    for zip_name, members in zips:
        write_zip(os.path.join(args.out, zip_name), args.stage, members, args.name, epoch)
    with open(os.path.join(args.out, "SHA256SUMS"), "w", newline="\n") as sums:
        for zip_name, _ in zips:
            with open(os.path.join(args.out, zip_name), "rb") as data:
                sums.write(hashlib.sha256(data.read()).hexdigest() + "  " + zip_name + "\n")
    print("release: " + ", ".join(z for z, _ in zips) + ", SHA256SUMS in " + args.out)


if __name__ == "__main__":
    main()
