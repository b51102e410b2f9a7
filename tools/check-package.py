#!/usr/bin/env python3
"""Unpacks and checks the Windows packages that tools/package.sh made.

usage: check-package.py DIST VERSION

For each of win32 and win64: the zip holds Linoscope3.exe and README.txt and
nothing else (above all no TAPI32.DLL, which would hide the system's TAPI);
the program is built for that architecture, stripped, loads on Windows 7
(subsystem version, only system DLLs imported: no MinGW runtime DLL, no
Universal CRT), and its version resource carries VERSION. The demo folder
holds the same program and a simulator of the same architecture.
Exits 1, naming every fault, when anything is wrong.
"""
import struct
import sys
import tempfile
import zipfile
from pathlib import Path

MACHINES = {"win32": 0x014C, "win64": 0x8664}
# DLLs that every Windows from 7 on has, in both architectures.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll", "msvcrt.dll",
               "shell32.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll", "shlwapi.dll", "version.dll"}
WINDOWS_7 = (6, 1)

faults = []


def fault(text):
    faults.append(text)


class PeFile:
    """The few parts of a PE image the checks read."""

    def __init__(self, path):
        self.path = path
        self.data = data = Path(path).read_bytes()
        if data[:2] != b"MZ":
            raise ValueError("not a PE image")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, symbol_table, self.symbols, optional_size, _) = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        # Long section names ("/4") are offsets into the string table after the symbols.
        strings = symbol_table + 18 * self.symbols if symbol_table else 0
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        self.os_version = struct.unpack_from("<HH", data, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, opt + 48)
        directories = opt + (96 if magic == 0x10B else 112)
        count = struct.unpack_from("<I", data, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        table = opt + optional_size
        for i in range(sections):
            name, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            name = name.rstrip(b"\0").decode("ascii", "replace")
            if name.startswith("/") and name[1:].isdigit() and strings:
                at = strings + int(name[1:])
                name = data[at:data.index(b"\0", at)].decode("ascii", "replace")
            self.sections.append((name, vaddr, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for _, vaddr, size, rawptr, rawsize in self.sections:
            if vaddr <= rva < vaddr + size and rva - vaddr < rawsize:
                return rawptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} outside the sections")

    def c_string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def imported_dlls(self):
        rva, size = self.directories[1]
        names = []
        if rva == 0:
            return names
        pos = self.offset(rva)
        while True:
            descriptor = struct.unpack_from("<IIIII", self.data, pos)
            if descriptor == (0, 0, 0, 0, 0):
                return names
            names.append(self.c_string(descriptor[3]))
            pos += 20

    def resources(self):
        rva, size = self.directories[2]
        if rva == 0:
            return b""
        start = self.offset(rva)
        return self.data[start:start + size]

    def fixed_versions(self):
        """(file version, product version) of VS_FIXEDFILEINFO, as dotted texts."""
        rsrc = self.resources()
        at = rsrc.find(struct.pack("<I", 0xFEEF04BD))
        if at < 0:
            return None
        fms, fls, pms, pls = struct.unpack_from("<IIII", rsrc, at + 8)
        dotted = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        return dotted(fms, fls), dotted(pms, pls)

    def version_string(self, key):
        """A value of the StringFileInfo block (UTF-16), or None."""
        rsrc = self.resources()
        needle = (key + "\0").encode("utf-16-le")
        at = rsrc.find(needle)
        if at < 0:
            return None
        at += len(needle)
        at += (4 - (at % 4)) % 4  # values start on a 32-bit boundary
        end = at
        while end + 1 < len(rsrc) and rsrc[end:end + 2] != b"\0\0":
            end += 2
        return rsrc[at:end].decode("utf-16-le")


def check_program(pe, arch, version, where):
    if pe.machine != MACHINES[arch]:
        fault(f"{where}: built for machine {pe.machine:#06x}, not {arch}")
    debug = [s[0] for s in pe.sections if s[0].startswith(".debug")]
    if debug or pe.symbols:
        fault(f"{where}: not stripped (sections {debug}, {pe.symbols} symbols)")
    for name, found in (("subsystem", pe.subsystem_version), ("operating system", pe.os_version)):
        if tuple(found) > WINDOWS_7:
            fault(f"{where}: needs {name} version {found[0]}.{found[1]}, newer than Windows 7")
    foreign = sorted(d for d in pe.imported_dlls() if d.lower() not in SYSTEM_DLLS)
    if foreign:
        fault(f"{where}: imports DLLs that Windows 7 lacks or that are not the system's: {foreign}")


def check_version(pe, version, where):
    fixed = pe.fixed_versions()
    if fixed != (version, version):
        fault(f"{where}: version resource says {fixed}, the build {version}")
    for key in ("FileVersion", "ProductVersion"):
        text = pe.version_string(key)
        if text != version:
            fault(f"{where}: {key} is {text!r}, the build {version}")


def check_zip(dist, arch, version):
    path = dist / f"linoscope3-{version}-{arch}.zip"
    if not path.is_file():
        fault(f"{path} is missing")
        return
    with zipfile.ZipFile(path) as archive, tempfile.TemporaryDirectory() as unpacked:
        names = sorted(archive.namelist())
        if names != ["Linoscope3.exe", "README.txt"]:
            fault(f"{path.name}: holds {names}, not just Linoscope3.exe and README.txt")
        if any("tapi32" in n.lower() for n in names):
            fault(f"{path.name}: holds a TAPI32 file: the program would never reach the system's TAPI")
        archive.extractall(unpacked)
        exe = Path(unpacked) / "Linoscope3.exe"
        if not exe.is_file():
            return
        pe = PeFile(exe)
        check_program(pe, arch, version, f"{path.name}:Linoscope3.exe")
        check_version(pe, version, f"{path.name}:Linoscope3.exe")
        readme = (Path(unpacked) / "README.txt").read_bytes() if (Path(unpacked) / "README.txt").exists() else b""
        if not readme or b"\n" in readme.replace(b"\r\n", b""):
            fault(f"{path.name}: README.txt is missing, empty or has bare LF line ends")


def check_demo(dist, arch, version):
    demo = dist / f"linoscope3-demo-{arch}"
    for name in ("Linoscope3.exe", "PbxSimulator.dll", "Linoscope3-demo.cmd", "README.txt"):
        if not (demo / name).is_file():
            fault(f"{demo}: {name} is missing")
            return
    pe = PeFile(demo / "Linoscope3.exe")
    check_program(pe, arch, version, f"{demo.name}/Linoscope3.exe")
    check_version(pe, version, f"{demo.name}/Linoscope3.exe")
    check_program(PeFile(demo / "PbxSimulator.dll"), arch, version, f"{demo.name}/PbxSimulator.dll")
    if any(p.name.lower().startswith("tapi32") for p in demo.iterdir()):
        fault(f"{demo}: holds a TAPI32 file: the program would load it before the system's TAPI")
    if not list((demo / "scenarios").glob("*.json")):
        fault(f"{demo}: no scenarios")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    dist, version = Path(sys.argv[1]), sys.argv[2]
    for arch in MACHINES:
        try:
            check_zip(dist, arch, version)
            check_demo(dist, arch, version)
        except (ValueError, struct.error, zipfile.BadZipFile) as error:
            fault(f"{arch}: unreadable package: {error}")
    for text in faults:
        print(f"package check: {text}", file=sys.stderr)
    if faults:
        sys.exit(1)
    print(f"== packages of {version} checked: win32 and win64")


if __name__ == "__main__":
    main()
