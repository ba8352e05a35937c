#!/usr/bin/env python3
"""Makes the PDB that GNU ld writes for CorvaneVMD.dll the same from every build folder.

    tools/normalize-pdb.py PDB FOLDER=NAME [FOLDER=NAME ...]

ld (binutils 2.40, --pdb) stamps the PDB with the time of the link and records
the absolute paths of the objects, of its working folder and of the PDB.  A
debugger matches a PDB to its DLL by GUID and age only (the DLL's CodeView
record; ld takes the GUID from the build ID, a hash of the image), so neither
is needed: the time stamp becomes the GUID's first four bytes and each FOLDER
at the start of a path becomes NAME, as -ffile-prefix-map does for the
compiler.  The paths live in the DBI stream's module records and in the
linker module's S_ENVBLOCK; the file is written again with every stream in
order.
"""
import struct
import sys

MAGIC = b"Microsoft C/C++ MSF 7.00\r\n\x1aDS\0\0\0"
S_ENVBLOCK = 0x113D


def read_msf(data):
    block_size, _, _, directory_bytes, _, block_map = struct.unpack_from("<6I", data, 32)
    if data[:32] != MAGIC:
        raise ValueError("not an MSF 7.00 file")

    def gather(blocks, size):
        return b"".join(data[b * block_size:(b + 1) * block_size] for b in blocks)[:size]

    count = (directory_bytes + block_size - 1) // block_size
    directory = gather(struct.unpack_from(f"<{count}I", data, block_map * block_size), directory_bytes)
    streams_count = struct.unpack_from("<I", directory, 0)[0]
    sizes = struct.unpack_from(f"<{streams_count}I", directory, 4)
    at, streams = 4 + 4 * streams_count, []
    for size in sizes:
        if size == 0xFFFFFFFF:
            streams.append(None)
            continue
        blocks = struct.unpack_from(f"<{(size + block_size - 1) // block_size}I", directory, at)
        at += 4 * len(blocks)
        streams.append(gather(blocks, size))
    return block_size, streams


def write_msf(block_size, streams):
    """Streams in order, then the directory and its block list; blocks 1 and 2 of each
    interval are the free block maps, all blocks in use."""
    blocks = [b""]  # the superblock, filled last

    def place(data):
        placed = []
        for at in range(0, len(data), block_size):
            while len(blocks) % block_size in (1, 2):
                blocks.append(None)
            placed.append(len(blocks))
            blocks.append(data[at:at + block_size])
        return placed

    lists = [place(stream) if stream else [] for stream in streams]
    directory = struct.pack("<I", len(streams)) + b"".join(
        struct.pack("<I", 0xFFFFFFFF if stream is None else len(stream)) for stream in streams)
    directory += b"".join(struct.pack(f"<{len(placed)}I", *placed) for placed in lists)
    block_map = place(b"".join(struct.pack("<I", b) for b in place(directory)))[0]
    while len(blocks) % block_size in (1, 2):
        blocks.append(None)
    total = len(blocks)
    blocks[0] = MAGIC + struct.pack("<6I", block_size, 1, total, len(directory), 0, block_map)
    # The free block map: one bit a block, set when free; interval k's first map block holds
    # its k-th block-sized slice.
    free_map = bytes(total // 8) + bytes([0xFF & ~((1 << (total % 8)) - 1)])
    out = bytearray()
    for index, block in enumerate(blocks):
        if block is None:
            interval = index // block_size
            block = free_map[interval * block_size:(interval + 1) * block_size] if index % block_size == 1 else b""
            block = block.ljust(block_size, b"\xff")
        out += block.ljust(block_size, b"\0")
    return bytes(out)


def mapped(text, prefixes):
    for folder, name in prefixes:
        if text == folder or text.startswith(folder + "/"):
            return name + text[len(folder):]
    return text


def normalize_modules(dbi, streams, prefixes):
    """The DBI stream with its module records' paths mapped; each module's own stream
    rewritten where it holds an S_ENVBLOCK."""
    module_info_size = struct.unpack_from("<i", dbi, 24)[0]
    modules, at, end = bytearray(), 64, 64 + module_info_size
    while at < end:
        header = bytearray(dbi[at:at + 64])
        names_end = dbi.index(b"\0", dbi.index(b"\0", at + 64) + 1)
        names = dbi[at + 64:names_end].split(b"\0")
        at = (names_end + 1 + 3) & ~3
        stream_index = struct.unpack_from("<H", header, 34)[0]
        if stream_index != 0xFFFF and streams[stream_index]:
            symbols_size = struct.unpack_from("<I", header, 36)[0]
            old = streams[stream_index]
            streams[stream_index] = normalize_symbols(old, symbols_size, prefixes)
            struct.pack_into("<I", header, 36, symbols_size + len(streams[stream_index]) - len(old))
        record = header + b"".join(mapped(n.decode("utf-8"), prefixes).encode("utf-8") + b"\0" for n in names)
        modules += record + b"\0" * (-len(record) % 4)
    rest = dbi[end:]
    header = bytearray(dbi[:64])
    struct.pack_into("<i", header, 24, len(modules))
    return bytes(header + modules + rest)


def normalize_symbols(stream, symbols_size, prefixes):
    """A module's stream (signature, then symbol records up to symbols_size) with
    S_ENVBLOCK's paths mapped.  Other records, and what follows the symbols, stay as they are."""
    out, at = bytearray(stream[:4]), 4
    while at + 4 <= symbols_size:
        length, kind = struct.unpack_from("<HH", stream, at)
        record = stream[at:at + 2 + length]
        if kind == S_ENVBLOCK:
            texts = record[5:].rstrip(b"\0").split(b"\0")
            body = record[4:5] + b"".join(mapped(t.decode("utf-8"), prefixes).encode("utf-8") + b"\0" for t in texts)
            body += b"\0" + b"\0" * (-(len(body) + 5) % 4)
            record = struct.pack("<HH", len(body) + 2, kind) + body
        out += record
        at += 2 + length
    return bytes(out + stream[at:])


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    prefixes = sorted((tuple(p.split("=", 1)) for p in argv[2:]), key=lambda p: -len(p[0]))
    block_size, streams = read_msf(open(argv[1], "rb").read())
    info = bytearray(streams[1])
    info[4:8] = info[12:16]  # the time stamp becomes the GUID's first four bytes
    streams[1] = bytes(info)
    streams[3] = normalize_modules(streams[3], streams, prefixes)
    open(argv[1], "wb").write(write_msf(block_size, streams))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
