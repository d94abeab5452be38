#!/usr/bin/env python3
"""Puts the release archive together from the x86 and x64 builds (run by
scripts/release.sh): OUT/camsetup-VERSION.zip, one folder camsetup-VERSION/
with the launchers, the checker, the sample setup.ini, README.txt, LICENSE
and SHA256SUMS. Prints the archive's path.

The archive depends on the files' contents and SOURCE_DATE_EPOCH only:
entries sorted, dated SOURCE_DATE_EPOCH, with fixed modes and compression.

With CAMSETUP_SIGN_CERT and CAMSETUP_SIGN_KEY set (PEM files), every .exe is
Authenticode-signed (SHA-256) with osslsigncode first;
CAMSETUP_SIGN_TIMESTAMP_URL adds an RFC 3161 time stamp.

usage: make_archive.py --version X.Y.Z --out DIR --x86 BUILD_DIR --x64 BUILD_DIR
"""
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def crlf(data: bytes) -> bytes:
    """Text files for Windows: CR LF line ends."""
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def contents(version, x86: Path, x64: Path):
    """Archive path (inside the folder) -> bytes."""
    readme = (ROOT / "release" / "README.txt").read_text().replace("@VERSION@", version)
    return {
        "camsetup.exe": (x86 / "camsetup.exe").read_bytes(),
        "x64/camsetup.exe": (x64 / "camsetup.exe").read_bytes(),
        "camsetup-check.exe": (x86 / "camsetup-check.exe").read_bytes(),
        "setup.ini": crlf((ROOT / "demo" / "package" / "setup.ini").read_bytes()),
        "README.txt": crlf(readme.encode("utf-8")),
        "LICENSE": crlf((ROOT / "LICENSE").read_bytes()),
    }


def sign(files, cert, key, timestamp_url):
    for name in sorted(files):
        if not name.endswith(".exe"):
            continue
        with tempfile.TemporaryDirectory() as d:
            unsigned, signed = Path(d) / "unsigned.exe", Path(d) / "signed.exe"
            unsigned.write_bytes(files[name])
            argv = ["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
                    "-n", "camsetup", "-in", str(unsigned), "-out", str(signed)]
            if timestamp_url:
                argv[2:2] = ["-ts", timestamp_url]
            run = subprocess.run(argv, capture_output=True, text=True)
            if run.returncode != 0:
                sys.exit("osslsigncode could not sign %s:\n%s" % (name, run.stdout + run.stderr))
            files[name] = signed.read_bytes()


def sha256sums(files) -> bytes:
    return "".join("%s  %s\n" % (hashlib.sha256(files[name]).hexdigest(), name)
                   for name in sorted(files)).encode()


def write_zip(path: Path, folder: str, files, epoch: int):
    # Zip times are local times of 1980 to 2107, two seconds apart: the
    # epoch's UTC time, clamped.
    date_time = time.gmtime(max(epoch, 315532800))[:6]
    entries = {folder + "/": None}
    for name, data in files.items():
        parts = name.split("/")
        for i in range(1, len(parts)):
            entries[folder + "/" + "/".join(parts[:i]) + "/"] = None
        entries[folder + "/" + name] = data
    partial = path.with_suffix(".partial")
    with zipfile.ZipFile(partial, "w") as z:
        for name in sorted(entries):
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 3  # Unix: the modes below mean what they say
            data = entries[name]
            if data is None:
                info.external_attr = (0o40755 << 16) | 0x10
                z.writestr(info, b"")
            else:
                info.external_attr = (0o100755 if name.endswith(".exe") else 0o100644) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                z.writestr(info, data, compresslevel=9)
    os.replace(partial, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--x86", required=True, type=Path)
    parser.add_argument("--x64", required=True, type=Path)
    args = parser.parse_args()

    files = contents(args.version, args.x86, args.x64)
    cert, key = os.environ.get("CAMSETUP_SIGN_CERT"), os.environ.get("CAMSETUP_SIGN_KEY")
    if bool(cert) != bool(key):
        sys.exit("set both CAMSETUP_SIGN_CERT and CAMSETUP_SIGN_KEY, or neither")
    if cert:
        sign(files, cert, key, os.environ.get("CAMSETUP_SIGN_TIMESTAMP_URL"))
    files["SHA256SUMS"] = sha256sums(files)

    folder = "camsetup-" + args.version
    archive = args.out / (folder + ".zip")
    args.out.mkdir(parents=True, exist_ok=True)
    write_zip(archive, folder, files, int(os.environ.get("SOURCE_DATE_EPOCH", "0")))
    print(archive)


if __name__ == "__main__":
    main()
