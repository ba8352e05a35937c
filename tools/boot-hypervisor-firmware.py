#!/usr/bin/env python3
"""Boots every hypervisor firmware Debian packages and writes, for each
configuration, the report a user of that virtual machine would upload: the
`dmidecode` text and the `acpidump` text, in the layout the firmware-report
converter reads (tools/realworld), with the package versions and the exact
command line beside them.

    tools/boot-hypervisor-firmware.py OUTPUT_FOLDER [--only NAME ...] [--work DIR] [--no-install]

The guest is Debian's own kernel and a busybox initramfs that prints the two
texts to the first serial port and powers off. Where the configuration runs
under KVM and the kernel cannot boot there (a KVM without hardware
virtualisation runs firmware but hangs a Linux kernel early), the tables are
read from the guest's memory once the firmware has handed over (QEMU's
monitor saves it) and formatted with `dmidecode --from-dump` and
`acpidump -f`. Bochs, too slow to boot the kernel on a shared machine, boots a
one-sector program instead that copies the same memory to its serial port. The
guest has no network (-nic none). Boots run one at a time,
niced; each prints one progress line, and a failure is named, never skipped.
"""

import argparse
import dataclasses
import glob
import os
import pathlib
import shlex
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

PACKAGES = ["qemu-system-x86", "qemu-system-data", "seabios", "ovmf", "bochs", "bochs-term", "bochsbios",
            "vgabios", "busybox-static", "dmidecode", "acpica-tools", "cpio", "nasm"]
KERNEL_PACKAGE = "linux-image-amd64"
SERIAL_START, SERIAL_DMI, SERIAL_ACPI, SERIAL_END = ("=== corvane report ===", "=== dmidecode ===",
                                                     "=== acpidump ===", "=== end of report ===")
MEMORY_MB = 2048  # a desktop guest's memory: the gate's memory-size step must not decide for it

# A physical desktop's own strings for every identity field of SMBIOS types 0 to 3, the processor's and the memory's,
# as someone hiding a virtual machine would set them.
DISGUISE = [
    "type=0,vendor=American Megatrends Inc.,version=1801,date=07/12/2023,release=5.27",
    "type=1,manufacturer=ASUS,product=System Product Name,version=System Version,serial=MB-2307A1B2C3,"
    "uuid=4c4c4544-0042-3510-8051-b3c04f4b3532,sku=SKU,family=To be filled by O.E.M.",
    "type=2,manufacturer=ASUSTeK COMPUTER INC.,product=PRIME B650-PLUS,version=Rev 1.xx,serial=230712345678901,"
    "asset=Default string,location=Default string",
    "type=3,manufacturer=Default string,version=Default string,serial=Default string,asset=Default string,"
    "sku=Default string",
    # The processor and memory structures name QEMU too: whoever hides a machine's maker hides it there
    # as well (a comma in a value is doubled, as QEMU's options escape it).
    "type=4,manufacturer=Advanced Micro Devices,, Inc.,version=AMD Ryzen 5 7600 6-Core Processor,"
    "serial=Unknown,asset=Unknown,part=Unknown",
    "type=17,loc_pfx=DIMMA,bank=BANK 0,manufacturer=Kingston,serial=4A3B2C1D,asset=Not Specified,"
    "part=KF556C40-16,speed=5600",
]

INIT = f"""#!/bin/sh
/bin/busybox mount -t proc proc /proc
/bin/busybox mount -t sysfs sysfs /sys
/bin/busybox mount -t devtmpfs devtmpfs /dev
exec > /dev/ttyS0 2>&1
echo '{SERIAL_START}'
echo '{SERIAL_DMI}'
/usr/sbin/dmidecode
echo '{SERIAL_ACPI}'
/usr/bin/acpidump
echo '{SERIAL_END}'
/bin/busybox poweroff -f
"""


# Bochs runs Debian's kernel too slowly on a shared machine (an hour and more): its BIOS's tables are
# copied instead by this boot sector, raw, to the serial port, and formatted here as for a KVM guest.
BOOT_SECTOR = """; Boot sector: copies the BIOS area and the top of the low memory, raw, to the first serial port.
bits 16
org 0x7c00
start:
    cli
    xor ax, ax
    mov ds, ax
    mov ss, ax
    mov sp, 0x7c00
    in al, 0x92                 ; A20 on, the fast way
    or al, 2
    and al, 0xfe
    out 0x92, al
    lgdt [gdt_descriptor]       ; unreal mode: fs keeps a 4 GiB limit back in real mode
    mov eax, cr0
    or al, 1
    mov cr0, eax
    jmp short .protected
.protected:
    mov bx, 8
    mov fs, bx
    and al, 0xfe
    mov cr0, eax
    xor ax, ax
    mov fs, ax
    mov dx, 0x3fb               ; 115200 baud, 8 bits, no parity
    mov al, 0x80
    out dx, al
    mov dx, 0x3f8
    mov al, 1
    out dx, al
    inc dx
    xor al, al
    out dx, al
    mov dx, 0x3fb
    mov al, 3
    out dx, al
    mov si, begin
    call print
    mov bp, regions
.region:
    mov esi, [bp]
    mov ecx, [bp + 4]
    test ecx, ecx
    jz .done
.byte:
    mov al, [fs:esi]
    call putc
    inc esi
    dec ecx
    jnz .byte
    add bp, 8
    jmp .region
.done:
    mov si, finish
    call print
    mov dx, 0x8900              ; Bochs' power-off port
    mov si, shutdown
.off:
    lodsb
    test al, al
    jz .halt
    out dx, al
    jmp .off
.halt:
    hlt
    jmp .halt
print:
    lodsb
    test al, al
    jz .end
    call putc
    jmp print
.end:
    ret
putc:
    push ax
    mov dx, 0x3fd
.wait:
    in al, dx
    test al, 0x20
    jz .wait
    pop ax
    mov dx, 0x3f8
    out dx, al
    ret
gdt:
    dq 0
    dq 0x00cf92000000ffff       ; flat data segment
gdt_descriptor:
    dw gdt_descriptor - gdt - 1
    dd gdt
begin: db "=== memory ===", 0
finish: db "=== end of memory ===", 13, 10
    times 32 db 10
    db 0
shutdown: db "Shutdown", 0
regions:
    dd 0xe0000, 0x20000
    dd TOP - 0x40000, 0x40000
    dd 0, 0
    times 510 - ($ - $$) db 0
    dw 0xaa55
"""
MEMORY_MARKERS = (b"=== memory ===", b"=== end of memory ===")
BOOT_SECTOR_TOP = 0x40000  # bytes the boot sector copies below the top of the low memory


@dataclasses.dataclass
class Config:
    name: str
    family: str  # the firmware family: SeaBIOS, OVMF, qboot, Bochs BIOS
    what: str  # one line for the documents
    machine: str = ""
    accel: str = "tcg"
    firmware: list = dataclasses.field(default_factory=list)
    smbios: list = dataclasses.field(default_factory=list)
    bochs: bool = False
    from_memory: bool = False  # read the tables from guest memory whatever the accelerator
    timeout: int = 300


CONFIGS = [
    Config("qemu-pc-seabios-tcg", "SeaBIOS", "QEMU pc (i440fx), SeaBIOS, TCG", machine="pc"),
    Config("qemu-q35-seabios-tcg", "SeaBIOS", "QEMU q35, SeaBIOS, TCG", machine="q35"),
    Config("qemu-q35-ovmf-tcg", "OVMF", "QEMU q35, OVMF (UEFI), TCG", machine="q35",
           firmware=["-drive", "if=pflash,format=raw,readonly=on,file=/usr/share/OVMF/OVMF_CODE_4M.fd",
                     "-drive", "if=pflash,format=raw,snapshot=on,file=/usr/share/OVMF/OVMF_VARS_4M.fd"],
           timeout=600),
    Config("qemu-pc-ovmf-tcg", "OVMF", "QEMU pc (i440fx), OVMF (UEFI), TCG", machine="pc",
           firmware=["-drive", "if=pflash,format=raw,readonly=on,file=/usr/share/OVMF/OVMF_CODE_4M.fd",
                     "-drive", "if=pflash,format=raw,snapshot=on,file=/usr/share/OVMF/OVMF_VARS_4M.fd"],
           timeout=600),
    # Debian's kernel prints nothing on microvm's serial port: its tables, if any, are read from memory.
    Config("qemu-microvm-tcg", "qboot", "QEMU microvm, its own qboot firmware, TCG",
           machine="microvm,acpi=on,pic=on,pit=on,rtc=on,isa-serial=on", from_memory=True),
    Config("qemu-pc-seabios-kvm", "SeaBIOS", "QEMU pc (i440fx), SeaBIOS, KVM", machine="pc", accel="kvm"),
    Config("qemu-q35-seabios-kvm", "SeaBIOS", "QEMU q35, SeaBIOS, KVM", machine="q35", accel="kvm"),
    Config("qemu-q35-ovmf-kvm", "OVMF", "QEMU q35, OVMF (UEFI), KVM", machine="q35", accel="kvm",
           firmware=["-drive", "if=pflash,format=raw,readonly=on,file=/usr/share/OVMF/OVMF_CODE_4M.fd",
                     "-drive", "if=pflash,format=raw,snapshot=on,file=/usr/share/OVMF/OVMF_VARS_4M.fd"]),
    Config("qemu-q35-seabios-disguised-tcg", "SeaBIOS",
           "QEMU q35, SeaBIOS, TCG, every SMBIOS identity field (types 0-4, 17) set to a physical desktop's strings",
           machine="q35", smbios=DISGUISE),
    Config("bochs-bios", "Bochs BIOS", "Bochs 2.7 with its own BIOS (BIOS-bochs-latest)", bochs=True,
           timeout=900),
]


def log(text):
    print(f"boot: {text}", file=sys.stderr, flush=True)


def install(packages):
    missing = [p for p in packages if subprocess.run(["dpkg-query", "-W", "-f=${Status}", p], capture_output=True,
                                                     text=True).stdout.find("install ok installed") < 0]
    if missing:
        log(f"installing {' '.join(missing)}")
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(["apt-get", "update", "-qq"], check=True, env=env)
        subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", *missing], check=True, env=env)


def version(package):
    done = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], capture_output=True, text=True)
    return done.stdout.strip() or "not installed"


def fetch_kernel(work):
    """Debian's kernel image, taken from its package without installing it on this machine."""
    depends = subprocess.run(["apt-cache", "depends", KERNEL_PACKAGE], capture_output=True, text=True, check=True)
    package = next(line.split(":", 1)[1].strip() for line in depends.stdout.splitlines()
                   if line.strip().startswith("Depends: linux-image-"))
    kernels = glob.glob(str(work / "boot" / "vmlinuz-*"))
    if not kernels:
        if not glob.glob(str(work / f"{package}_*.deb")):
            subprocess.run(["apt-get", "download", package], cwd=work, check=True)
        deb = glob.glob(str(work / f"{package}_*.deb"))[0]
        subprocess.run(f"dpkg-deb --fsys-tarfile {shlex.quote(deb)} | tar -x -C {shlex.quote(str(work))} "
                       "--wildcards './boot/vmlinuz-*'", shell=True, check=True)
        kernels = glob.glob(str(work / "boot" / "vmlinuz-*"))
    deb_version = subprocess.run(["apt-cache", "policy", package], capture_output=True, text=True).stdout
    candidate = next((line.split(":", 1)[1].strip() for line in deb_version.splitlines() if "Candidate:" in line), "")
    return pathlib.Path(kernels[0]), f"{package} {candidate}"


def make_initramfs(work):
    """busybox, dmidecode and acpidump with the libraries they load, and the init script above."""
    root = work / "initramfs"
    shutil.rmtree(root, ignore_errors=True)
    for folder in ("bin", "usr/bin", "usr/sbin", "proc", "sys", "dev"):
        (root / folder).mkdir(parents=True, exist_ok=True)
    shutil.copy("/bin/busybox", root / "bin" / "busybox")
    for program in ("/usr/sbin/dmidecode", "/usr/bin/acpidump"):
        shutil.copy(program, root / program.lstrip("/"))
        for line in subprocess.run(["ldd", program], capture_output=True, text=True).stdout.splitlines():
            library = next((part for part in line.split() if part.startswith("/")), None)
            if library:
                target = root / library.lstrip("/")
                target.parent.mkdir(parents=True, exist_ok=True)
                shutil.copy(library, target)
    (root / "bin" / "sh").symlink_to("busybox")
    (root / "init").write_text(INIT)
    (root / "init").chmod(0o755)
    image = work / "initramfs.cpio.gz"
    subprocess.run(f"cd {shlex.quote(str(root))} && find . | cpio -o -H newc --quiet | gzip -9 > "
                   f"{shlex.quote(str(image))}", shell=True, check=True)
    return image


def make_boot_floppy(work):
    """A 1.44 MB floppy whose boot sector copies the firmware's tables to the serial port."""
    source, sector, floppy = work / "dump.asm", work / "dump.bin", work / "bochs-floppy.img"
    source.write_text(BOOT_SECTOR)
    subprocess.run(["nasm", "-f", "bin", f"-DTOP={MEMORY_MB << 20:#x}", "-o", str(sector), str(source)], check=True)
    floppy.write_bytes(sector.read_bytes().ljust(1474560, b"\0"))
    return floppy


def qemu_command(config, kernel, initramfs, serial, monitor):
    command = ["qemu-system-x86_64", "-machine", f"{config.machine},accel={config.accel}", "-m", str(MEMORY_MB),
               "-nodefaults", "-nographic", "-nic", "none", "-serial", f"file:{serial}",
               "-monitor", f"unix:{monitor},server=on,wait=off", "-kernel", str(kernel), "-initrd", str(initramfs),
               "-append", "console=ttyS0 quiet panic=-1", "-no-reboot"]
    command += config.firmware
    for field in config.smbios:
        command += ["-smbios", field]
    return command


def bochs_command(floppy, serial, bochsrc):
    # Without a sound device: its ALSA driver aborts Bochs on a machine without one.
    bochsrc.write_text(f"""megs: {MEMORY_MB}
romimage: file=/usr/share/bochs/BIOS-bochs-latest
vgaromimage: file=/usr/share/vgabios/vgabios.bin
floppya: 1_44={floppy}, status=inserted
boot: floppy
com1: enabled=1, mode=file, dev={serial}
display_library: term
log: /dev/null
clock: sync=none, time0=local
speaker: enabled=0
sound: waveoutdrv=dummy, waveindrv=dummy, midioutdrv=dummy
""")
    # Debian's Bochs has no display-less library; its terminal one gets a pseudo-terminal from script(1).
    # Debian's Bochs starts in its debugger: the one command "c" lets the machine run.
    commands = bochsrc.with_suffix(".commands")
    commands.write_text("c\n")
    return ["script", "-qfec", f"stty rows 25 cols 80; bochs -q -f {shlex.quote(str(bochsrc))} "
            f"-rc {shlex.quote(str(commands))}", "/dev/null"]


def serial_report(text):
    """(dmidecode text, acpidump text) between the guest's markers, or None while the guest is not done."""
    text = text.replace("\r\n", "\n")
    if SERIAL_END not in text or SERIAL_ACPI not in text:
        return None
    start = text.index(SERIAL_DMI) + len(SERIAL_DMI) + 1
    middle = text.index(SERIAL_ACPI)
    return text[start:middle], text[middle + len(SERIAL_ACPI) + 1:text.index(SERIAL_END)]


def run_until_report(command, serial, timeout, read=lambda data: serial_report(data.decode(errors="replace"))):
    """Runs the emulator until `read` finds the guest's report in its serial output (or the time is up);
    stops it either way."""
    started = time.monotonic()
    process = subprocess.Popen(["nice", *command], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, start_new_session=True)
    report = None
    try:
        while time.monotonic() - started < timeout:
            ended = process.poll() is not None
            report = read(serial.read_bytes()) if serial.exists() else None
            if report or ended:
                break
            time.sleep(1)
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)  # the emulator and anything it started, nothing else
        stderr = process.communicate()[1].decode(errors="replace").strip()
    return report, time.monotonic() - started, stderr


def monitor(path, *commands):
    with socket.socket(socket.AF_UNIX) as connection:
        connection.connect(str(path))
        connection.settimeout(60)
        for command in commands:
            connection.sendall(command.encode() + b"\n")
            time.sleep(0.5)
        time.sleep(2)


class GuestMemory:
    """The parts of guest memory saved through QEMU's monitor: the BIOS area below 1 MiB and the top
    of the low memory, where SeaBIOS and qboot put their tables."""

    def __init__(self, windows):
        self.windows = windows  # [(guest address, bytes)]

    def read(self, address, size):
        for start, data in self.windows:
            if start <= address and address + size <= start + len(data):
                return data[address - start:address - start + size]
        raise RuntimeError(f"guest memory at {address:#x} ({size} bytes) lies outside what was saved")

    def anchor(self, text):
        """The address of `text` at a 16-byte boundary of the BIOS area (0xE0000 to 0xFFFFF), or None."""
        area = self.read(0xE0000, 0x20000)
        return next((0xE0000 + at for at in range(0, len(area), 16) if area[at:at + len(text)] == text), None)

    def u32(self, address):
        return struct.unpack("<I", self.read(address, 4))[0]

    def u64(self, address):
        return struct.unpack("<Q", self.read(address, 8))[0]


def _fix_checksum(entry, length, at):
    entry[at] = 0
    entry[at] = (-sum(entry[:length])) & 0xFF


def dmidecode_dump(memory):
    """A `dmidecode --dump-bin` file from guest memory: the entry point with its table moved to offset 32."""
    found = memory.anchor(b"_SM3_")
    if found is not None:
        length = memory.read(found + 6, 1)[0]
        entry = bytearray(memory.read(found, length))
        size, address = struct.unpack_from("<IQ", entry, 0x0C)
        struct.pack_into("<Q", entry, 0x10, 32)
        _fix_checksum(entry, length, 5)
        return bytes(entry).ljust(32, b"\0") + memory.read(address, size)
    found = memory.anchor(b"_SM_")
    if found is None:
        raise RuntimeError("no SMBIOS entry point between 0xE0000 and 0xFFFFF of guest memory")
    length = memory.read(found + 5, 1)[0]
    entry = bytearray(memory.read(found, length))
    size, address = struct.unpack_from("<HI", entry, 0x16)
    struct.pack_into("<I", entry, 0x18, 32)
    intermediate = entry[0x10:0x1F]
    intermediate[5] = 0
    entry[0x15] = (-sum(intermediate)) & 0xFF
    _fix_checksum(entry, length, 4)
    return bytes(entry).ljust(32, b"\0") + memory.read(address, size)


def acpi_tables(memory):
    """Every ACPI table the RSDP leads to, in the order the firmware lists them, with the DSDT and FACS."""
    rsdp = memory.anchor(b"RSD PTR ")
    if rsdp is None:
        return []
    revision, rsdt = memory.read(rsdp + 15, 1)[0], memory.u32(rsdp + 16)
    xsdt = memory.u64(rsdp + 24) if revision >= 2 else 0
    root, width = (xsdt, 8) if xsdt else (rsdt, 4)

    def table(address):
        return memory.read(address, memory.u32(address + 4))

    # The root table itself is left out, as a guest's acpidump reading /sys/firmware/acpi/tables does.
    tables = []
    listed = table(root)
    for at in range(36, len(listed), width):
        tables.append(table(int.from_bytes(listed[at:at + width], "little")))
        if tables[-1][:4] == b"FACP":
            fadt = tables[-1]
            facs, dsdt = struct.unpack_from("<II", fadt, 36)
            if len(fadt) >= 148 and struct.unpack_from("<Q", fadt, 140)[0]:
                dsdt = struct.unpack_from("<Q", fadt, 140)[0]
            if facs:
                tables.append(table(facs))
            tables.append(table(dsdt))
    return tables


TOP_SAVED = 8 << 20  # bytes saved below the top of low memory


def save_memory(sock, work, name):
    """The BIOS area and the top of the low memory, saved with the monitor's pmemsave."""
    windows = []
    for number, (start, size) in enumerate(((0, 1 << 20), ((MEMORY_MB << 20) - TOP_SAVED, TOP_SAVED))):
        dump = work / f"{name}.{number}.mem"
        if dump.exists():
            dump.unlink()
        monitor(sock, "stop", f'pmemsave {start} {size} "{dump}"', "cont")
        for _ in range(30):
            if dump.exists() and dump.stat().st_size == size:
                break
            time.sleep(1)
        if not dump.exists():
            raise RuntimeError("QEMU's monitor saved no guest memory")
        windows.append((start, dump.read_bytes()))
        dump.unlink()
    return GuestMemory(windows)


def report_from_memory(config, kernel, initramfs, work):
    """The firmware's tables read from guest memory after it handed over to the kernel."""
    serial, sock = work / f"{config.name}.serial", work / f"{config.name}.monitor"
    for path in (serial, sock):
        if path.exists():
            path.unlink()
    command = qemu_command(config, kernel, initramfs, serial, sock)
    process = subprocess.Popen(["nice", *command], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, start_new_session=True)
    try:
        memory = None
        # A firmware under a slow KVM takes a while to build its tables: look again until the anchors are there.
        for _ in range(6):
            time.sleep(15)
            if process.poll() is not None:
                raise RuntimeError(f"QEMU ended: {process.communicate()[1].decode(errors='replace').strip()[:300]}")
            memory = save_memory(sock, work, config.name)
            if any(memory.anchor(text) is not None for text in (b"_SM_", b"_SM3_", b"RSD PTR ")):
                break
        else:
            uefi = " (a UEFI firmware leaves them where only its own configuration table points)" \
                if config.family == "OVMF" else ""
            raise RuntimeError("neither an SMBIOS entry point nor an RSDP in the BIOS area of guest memory after "
                               f"90 s{uefi}")
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)  # the emulator and anything it started, nothing else
        process.communicate()
    return format_tables(memory, work, config.name), command


def memory_from_serial(data):
    """The guest memory the boot sector copied to the serial port, once all of it is there."""
    start, end = data.find(MEMORY_MARKERS[0]), data.find(MEMORY_MARKERS[1])
    if start < 0 or end < 0:
        return None
    copied = data[start + len(MEMORY_MARKERS[0]):end]
    if len(copied) != 0x20000 + BOOT_SECTOR_TOP:
        raise RuntimeError(f"the boot sector copied {len(copied)} bytes, not {0x20000 + BOOT_SECTOR_TOP}")
    return GuestMemory([(0xE0000, copied[:0x20000]), ((MEMORY_MB << 20) - BOOT_SECTOR_TOP, copied[0x20000:])])


def format_tables(memory, work, name):
    """(dmidecode text, acpidump text) of the tables in guest memory, by dmidecode's and acpidump's own code."""
    if memory.anchor(b"_SM_") is None and memory.anchor(b"_SM3_") is None:
        rsdp = memory.anchor(b"RSD PTR ")
        raise RuntimeError("no SMBIOS entry point in the BIOS area, so no report the converter can read; ACPI: "
                           + (f"an RSDP at {rsdp:#x}" if rsdp is not None else "no RSDP either"))
    smbios = work / f"{name}.dmi"
    smbios.write_bytes(dmidecode_dump(memory))
    dmi = subprocess.run(["dmidecode", "--from-dump", str(smbios)], capture_output=True, text=True, check=True).stdout
    texts = []
    for number, data in enumerate(acpi_tables(memory)):
        binary = work / f"{name}.{number}.dat"
        binary.write_bytes(data)
        done = subprocess.run(["acpidump", "-f", str(binary)], capture_output=True, text=True, check=True)
        texts.append(done.stdout.strip("\n") + "\n")
        binary.unlink()
    smbios.unlink()
    return dmi, "\n".join(texts) + "\n"


def kvm_boots_linux():
    """Whether KVM here runs a Linux kernel: hardware virtualisation in the processor's flags."""
    with open("/proc/cpuinfo") as cpuinfo:
        flags = cpuinfo.read()
    return " vmx" in flags or " svm" in flags


def boot(config, kernel, initramfs, floppy, work):
    serial = work / f"{config.name}.serial"
    if serial.exists():
        serial.unlink()
    if config.bochs:
        command = bochs_command(floppy, serial, work / "bochsrc")
        memory, seconds, stderr = run_until_report(command, serial, config.timeout, memory_from_serial)
        report = format_tables(memory, work, config.name) if memory else None
        return report, command, seconds, stderr, "guest memory, copied by a boot sector after the firmware"
    if config.from_memory or (config.accel == "kvm" and not kvm_boots_linux()):
        started = time.monotonic()
        report, command = report_from_memory(config, kernel, initramfs, work)
        return report, command, time.monotonic() - started, "", "guest memory after the firmware"
    command = qemu_command(config, kernel, initramfs, serial, work / f"{config.name}.monitor")
    report, seconds, stderr = run_until_report(command, serial, config.timeout)
    return report, command, seconds, stderr, "in-guest"


def provenance(config, command, how, kernel_package, work):
    packages = ["qemu-system-x86", "seabios", "ovmf", "bochs", "bochsbios", "vgabios", "busybox-static",
                "dmidecode", "acpica-tools"]
    lines = [f"configuration: {config.name}", f"what: {config.what}", f"firmware family: {config.family}",
             f"read: {how}", f"kernel: {kernel_package}"]
    lines += [f"package: {p} {version(p)}" for p in packages]
    lines.append("command: " + " ".join(shlex.quote(part) for part in command))
    if config.bochs:  # the machine is in its configuration file, not on the command line
        lines += [f"bochsrc: {line}" for line in (work / "bochsrc").read_text().splitlines()]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("output", help="folder for the reports (NAME.dmidecode, NAME.acpidump, NAME.provenance)")
    parser.add_argument("--only", nargs="*", help="only these configurations")
    parser.add_argument("--work", help="folder for the kernel, the initramfs and the serial logs")
    parser.add_argument("--no-install", action="store_true", help="do not run apt-get for missing packages")
    arguments = parser.parse_args()
    if not arguments.no_install:
        install(PACKAGES)
    output = pathlib.Path(arguments.output)
    output.mkdir(parents=True, exist_ok=True)
    work = pathlib.Path(arguments.work or tempfile.mkdtemp(prefix="hypervisor-firmware-")).resolve()
    work.mkdir(parents=True, exist_ok=True)
    kernel, kernel_package = fetch_kernel(work)
    initramfs = make_initramfs(work)
    configs = [c for c in CONFIGS if not arguments.only or c.name in arguments.only]
    floppy = make_boot_floppy(work) if any(c.bochs for c in configs) else None
    failures = 0

    def failed(number, config, why):
        """A configuration without a report: named on the console and beside the reports, never skipped."""
        log(f"[{number}/{len(configs)}] {config.name}: FAILED: {why}")
        (output / f"{config.name}.failed").write_text(
            f"configuration: {config.name}\nwhat: {config.what}\nfirmware family: {config.family}\nfailure: {why}\n")

    for number, config in enumerate(configs, 1):
        for stale in output.glob(f"{config.name}.*"):
            stale.unlink()
        if config.accel == "kvm" and not os.access("/dev/kvm", os.R_OK | os.W_OK):
            failures += 1
            failed(number, config, "/dev/kvm is missing or not usable here")
            continue
        try:
            report, command, seconds, stderr, how = boot(config, kernel, initramfs, floppy, work)
        except (RuntimeError, OSError, subprocess.CalledProcessError) as error:
            failures += 1
            failed(number, config, str(error))
            continue
        if not report or not report[0].strip():
            failures += 1
            detail = f"; the emulator said: {stderr[:300]}" if stderr else ""
            failed(number, config, f"no report on the serial port after {seconds:.0f} s{detail}")
            continue
        dmi, acpidump = report
        (output / f"{config.name}.dmidecode").write_text(dmi)
        if acpidump.strip():
            (output / f"{config.name}.acpidump").write_text(acpidump)
        (output / f"{config.name}.provenance").write_text(provenance(config, command, how, kernel_package, work))
        tables = acpidump.count(" @ 0x")
        log(f"[{number}/{len(configs)}] {config.name}: {seconds:.0f} s, {how}, "
            f"{dmi.count('DMI type')} SMBIOS structures, {tables} ACPI tables")
    log(f"{len(configs) - failures} of {len(configs)} configurations gave a report")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
