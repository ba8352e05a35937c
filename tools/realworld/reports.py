"""Reads the public hardware reports of linuxhw/DMI and linuxhw/ACPI straight
from the git objects of a clone, without checking out its files.

A clone is any `git clone` of the repositories, a normal checkout or a bare
one: the files of its HEAD commit are listed with `git ls-tree` and read with
one long-running `git cat-file --batch`, so 160,000 reports stream through in
a minute and memory stays flat.

Layout: linuxhw/DMI holds `FormFactor/Vendor/Family/Model/HWID`, the text of
`dmidecode`; linuxhw/ACPI holds `.../HWID.bin`, the text of `acpidump`, beside
`.../HWID`, a table listing.  Reports of both are joined by the hardware ID.
"""
from __future__ import annotations

import io
import os
import queue
import subprocess
import threading
from dataclasses import dataclass
from typing import Iterator, Optional


@dataclass
class Report:
    hwid: str
    path: str
    form_factor: str
    vendor: str
    model: str
    dmidecode: str
    acpidump: Optional[str]


class RepositoryError(Exception):
    """The path is no git clone, or git cannot read it."""


def _git(repo: str, *args: str) -> list[str]:
    return ["git", "-C", repo, "-c", "core.quotePath=false", *args]


def _check_clone(repo: str) -> None:
    if not os.path.isdir(repo):
        raise RepositoryError(f"{repo}: no such folder")
    done = subprocess.run(_git(repo, "rev-parse", "--verify", "-q", "HEAD^{commit}"),
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if done.returncode != 0:
        raise RepositoryError(f"{repo}: not a git clone with a HEAD commit")


def _tree_entries(stream) -> Iterator[tuple[str, str]]:
    """(object name, path) of every file of `git ls-tree -r -z` output, read as it comes."""
    pending = b""
    while True:
        chunk = stream.read(1 << 16)
        if not chunk:
            break
        pending += chunk
        *records, pending = pending.split(b"\0")
        for record in records:
            meta, _, path = record.partition(b"\t")
            fields = meta.split()
            if len(fields) == 3 and fields[1] == b"blob":
                yield fields[2].decode(), path.decode("utf-8", "surrogateescape")


def _list_files(repo: str) -> list[tuple[str, str]]:
    done = subprocess.run(_git(repo, "ls-tree", "-r", "-z", "--full-tree", "HEAD"),
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if done.returncode != 0:
        raise RepositoryError(f"{repo}: git ls-tree failed: {done.stderr.decode(errors='replace').strip()}")
    return list(_tree_entries(io.BytesIO(done.stdout)))


def _read_object(out) -> Optional[bytes]:
    """The next object cat-file answers with, None for one the clone lacks
    (a partial or shallow clone lists files whose contents it never fetched)."""
    header = out.readline()
    if not header:
        raise RepositoryError("git cat-file ended early")
    fields = header.split()
    if len(fields) == 2 and fields[1] == b"missing":
        return None
    if len(fields) < 3:
        raise RepositoryError(f"git cat-file: {header.decode(errors='replace').strip()}")
    size = int(fields[2])
    data = out.read(size)
    out.read(1)  # the newline after every object
    return data


def _text(data: bytes) -> str:
    return data.decode("utf-8", "replace")


class _AcpiIndex:
    """The acpidump texts of linuxhw/ACPI by hardware ID, read on demand."""

    def __init__(self, repo: str):
        _check_clone(repo)
        self.objects: dict[str, tuple[str, str]] = {}
        for name, path in _list_files(repo):
            if path.endswith(".bin") and "/" in path:
                self.objects[path.rsplit("/", 1)[1][:-4]] = (name, path)
        self.process = subprocess.Popen(_git(repo, "cat-file", "--batch"), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE)

    def text(self, hwid: str, absent: Optional[list]) -> Optional[str]:
        listed = self.objects.get(hwid)
        if listed is None:
            return None
        self.process.stdin.write(listed[0].encode() + b"\n")
        self.process.stdin.flush()
        data = _read_object(self.process.stdout)
        if data is None:
            if absent is not None:
                absent.append(listed[1])
            return None
        return _text(data)

    def close(self) -> None:
        self.process.stdin.close()
        self.process.wait()


def _split_report_path(path: str) -> Optional[tuple[str, str, str, str]]:
    """(form factor, vendor, model, hardware ID) of a report's path, None for other files."""
    parts = path.split("/")
    if len(parts) != 5 or not all(parts):
        return None
    form_factor, vendor, _family, model, hwid = parts
    return form_factor, vendor, model, hwid


def iter_reports(dmi_repo: str, acpi_repo: Optional[str], limit: Optional[int] = None,
                 absent: Optional[list] = None, skip: int = 0) -> Iterator[Report]:
    """Every report of the DMI clone in path order, with the acpidump text of the
    same hardware ID from the ACPI clone when there is one; the first `skip`
    reports left out, and at most `limit` of the rest.

    A file the clone lists but does not hold is never dropped in silence: its
    path goes to `absent` when given; a DMI report then comes with empty text
    (which the converter names as a broken report), an ACPI one as None."""
    _check_clone(dmi_repo)
    acpi = _AcpiIndex(acpi_repo) if acpi_repo else None
    listing = subprocess.Popen(_git(dmi_repo, "ls-tree", "-r", "-z", "--full-tree", "HEAD"),
                               stdout=subprocess.PIPE)
    reader = subprocess.Popen(_git(dmi_repo, "cat-file", "--batch"), stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE)
    # The feeder asks cat-file for each report while the caller reads the
    # answers; the bounded queue keeps the two no more than a few hundred apart.
    paths: queue.Queue = queue.Queue(maxsize=512)
    stop = threading.Event()

    def feed() -> None:
        sent = skipped = 0
        try:
            for name, path in _tree_entries(listing.stdout):
                if stop.is_set() or (limit is not None and sent >= limit):
                    break
                if _split_report_path(path) is None:
                    continue
                if skipped < skip:
                    skipped += 1
                    continue
                paths.put(path)
                reader.stdin.write(name.encode() + b"\n")
                reader.stdin.flush()
                sent += 1
        except (BrokenPipeError, ValueError):
            pass
        finally:
            paths.put(None)
            try:
                reader.stdin.close()
            except (BrokenPipeError, ValueError):
                pass

    feeder = threading.Thread(target=feed, daemon=True)
    feeder.start()
    try:
        while True:
            path = paths.get()
            if path is None:
                break
            data = _read_object(reader.stdout)
            if data is None and absent is not None:
                absent.append(path)
            form_factor, vendor, model, hwid = _split_report_path(path)
            yield Report(hwid=hwid, path=path, form_factor=form_factor, vendor=vendor, model=model,
                         dmidecode=_text(data or b""), acpidump=acpi.text(hwid, absent) if acpi else None)
    finally:
        stop.set()
        while feeder.is_alive():  # let a blocked feeder finish
            try:
                paths.get_nowait()
            except queue.Empty:
                pass
            feeder.join(0.05)
        reader.stdout.close()
        reader.kill()
        reader.wait()
        listing.stdout.close()
        listing.kill()
        listing.wait()
        if acpi:
            acpi.close()
