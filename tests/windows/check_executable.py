#!/usr/bin/env python3
"""Checks a built camsetup.exe: Windows GUI subsystem, imports from KERNEL32
and msvcrt only, its size budget, and the manifest and version information
read back from its resources.

usage: check_executable.py --objdump OBJDUMP --version X.Y.Z EXE
"""
import argparse
import struct
import subprocess
import sys
from pathlib import Path

ALLOWED_IMPORTS = {"KERNEL32.DLL", "MSVCRT.DLL"}
MAX_BYTES = 160 * 1024
RT_VERSION, RT_MANIFEST = 16, 24
SUPPORTED_OS = {
    "Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "Windows 10 and 11": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}


class Pe:
    def __init__(self, data: bytes):
        self.data = data
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        coff = pe_offset + 4
        sections, optional_size = struct.unpack_from("<H12xH", data, coff + 2)
        optional = coff + 20
        (magic,) = struct.unpack_from("<H", data, optional)
        directories = optional + (96 if magic == 0x10B else 112)
        (self.subsystem,) = struct.unpack_from("<H", data, optional + 68)
        self.resource_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
        self.sections = []
        for i in range(sections):
            entry = optional + optional_size + 40 * i
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, entry + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("RVA %#x outside the sections" % rva)

    def resource(self, type_id, name_id):
        """The data of the first language of resource (type, name), or None."""
        if self.resource_rva == 0:
            return None
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + ids):
                key, value = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                yield key, value

        for key, value in entries(base):
            if key != type_id:
                continue
            for key2, value2 in entries(base + (value & 0x7FFFFFFF)):
                if key2 != name_id:
                    continue
                for _, value3 in entries(base + (value2 & 0x7FFFFFFF)):
                    rva, size = struct.unpack_from("<II", self.data, base + value3)
                    start = self.offset(rva)
                    return self.data[start:start + size]
        return None


def version_strings(block: bytes):
    """The fixed file version and the StringFileInfo values of a version
    resource."""
    strings = {}
    fixed = None

    def walk(offset, end, depth):
        nonlocal fixed
        while offset + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", block, offset)
            if length == 0:
                break
            key_end = offset + 6
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[offset + 6:key_end].decode("utf-16-le")
            value_start = (key_end + 2 + 3) & ~3
            value_bytes = value_length * (2 if kind == 1 else 1)
            if key == "VS_VERSION_INFO" and value_length:
                sig, _, ms, ls = struct.unpack_from("<IIII", block, value_start)
                if sig == 0xFEEF04BD:
                    fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
            elif kind == 1 and depth == 3:
                text = block[value_start:value_start + value_bytes].decode("utf-16-le")
                strings[key] = text.rstrip("\0")
            children = (value_start + value_bytes + 3) & ~3
            walk(children, offset + length, depth + 1)
            offset = (offset + length + 3) & ~3

    walk(0, len(block), 0)
    return fixed, strings


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("exe", type=Path)
    args = parser.parse_args()
    problems = []

    data = args.exe.read_bytes()
    if len(data) > MAX_BYTES:
        problems.append("size %d bytes is over the budget of %d" % (len(data), MAX_BYTES))

    dump = subprocess.run([args.objdump, "-p", str(args.exe)], check=True,
                          capture_output=True, text=True).stdout
    imports = {line.split(":", 1)[1].strip().upper()
               for line in dump.splitlines() if line.strip().startswith("DLL Name:")}
    if imports - ALLOWED_IMPORTS:
        problems.append("imports %s" % sorted(imports - ALLOWED_IMPORTS))

    pe = Pe(data)
    if pe.subsystem != 2:
        problems.append("subsystem %d, not Windows GUI (2)" % pe.subsystem)

    manifest = pe.resource(RT_MANIFEST, 1)
    if manifest is None:
        problems.append("no application manifest (RT_MANIFEST 1)")
    else:
        text = manifest.decode("utf-8")
        wanted = {
            "administrator rights": 'level="requireAdministrator"',
            "per-monitor DPI awareness": "PerMonitorV2",
            "Common Controls 6": 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
        }
        wanted.update({"supportedOS " + k: 'Id="%s"' % v for k, v in SUPPORTED_OS.items()})
        for what, needle in wanted.items():
            if needle not in " ".join(text.split()):
                problems.append("manifest lacks %s" % what)

    version = pe.resource(RT_VERSION, 1)
    if version is None:
        problems.append("no version resource")
    else:
        fixed, strings = version_strings(version)
        want = tuple(int(x) for x in args.version.split(".")) + (0,)
        if fixed != want:
            problems.append("fixed file version %s, want %s" % (fixed, want))
        for key, value in {"ProductName": "camsetup", "FileVersion": args.version,
                           "ProductVersion": args.version,
                           "FileDescription": "Camera driver setup launcher",
                           "OriginalFilename": "camsetup.exe"}.items():
            if strings.get(key) != value:
                problems.append("version %s is %r, want %r" % (key, strings.get(key), value))

    print("%s: %d bytes, imports %s" % (args.exe, len(data), ", ".join(sorted(imports))))
    for p in problems:
        print("  " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
