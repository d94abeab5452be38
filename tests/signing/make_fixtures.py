#!/usr/bin/env python3
"""Makes the signed and unsigned PE files in tests/signing, which
tests/authenticode_test.cpp reads, and the seeds of the fuzz_authenticode
target.

    make_fixtures.py [OUT_DIR]    (default: the folder of this script)

Needs openssl and osslsigncode. Keys are made afresh on every run and not
kept, so each run gives new signatures; the tests depend on none of their
bytes.

Certificates (OUT_DIR/<name>.pem), each with its own key:
  oskendal          CN=Oskendal Camera Co, self-signed
  oskendal-renewed  the same subject, a new key and serial number
  mueller           a subject in UTF-8 (O=Kamerawerk Müller GmbH), issued by
                    "CN=camsetup Test CA", whose certificate the signature
                    carries ahead of the signer's

Unsigned images, built here (two sections, nothing that runs):
  pe32.exe, pe64.exe   PE32 and PE32+
  overlay.exe          PE32 with 5 bytes after its last section, so that the
                       signer pads the file to 8 bytes before the signature

Signed with osslsigncode, as OUT_DIR/<image>-<certificate>-<digest>.exe:
  pe32-oskendal-{sha1,sha256,sha384,sha512}, pe64-oskendal-sha256,
  pe32-oskendal-renewed-sha256, pe32-mueller-sha256, overlay-oskendal-sha256,
  pe32-changed-oskendal-sha256: pe32.exe with the first byte of its .data
  section (file offset 0x400) changed before signing

Fuzz seeds, copied into tests/fuzz/corpus/fuzz_authenticode when OUT_DIR is
the default: unsigned (pe32.exe), signed (pe32-oskendal-sha256.exe),
signed-pe64 (pe64-oskendal-sha256.exe).
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DATA_TEXT = b"camsetup signing fixture: the .data section\0"
FILE_ALIGNMENT = 0x200
SECTION_ALIGNMENT = 0x1000

SELF_SIGNED = {
    "oskendal": "/C=DE/O=Oskendal Camera Co/CN=Oskendal Camera Co",
    "oskendal-renewed": "/C=DE/O=Oskendal Camera Co/CN=Oskendal Camera Co",
}
CA_SUBJECT = "/CN=camsetup Test CA"
ISSUED = {"mueller": "/C=DE/O=Kamerawerk M\u00fcller GmbH/CN=Kamerawerk M\u00fcller GmbH"}
CODE_SIGNING = ["-addext", "keyUsage=critical,digitalSignature",
                "-addext", "extendedKeyUsage=codeSigning"]

SIGNED = [("pe32", "oskendal", digest) for digest in ("sha1", "sha256", "sha384", "sha512")] + [
    ("pe64", "oskendal", "sha256"),
    ("pe32", "oskendal-renewed", "sha256"),
    ("pe32", "mueller", "sha256"),
    ("overlay", "oskendal", "sha256"),
    ("pe32-changed", "oskendal", "sha256"),
]
SEEDS = {"unsigned": "pe32.exe", "signed": "pe32-oskendal-sha256.exe",
         "signed-pe64": "pe64-oskendal-sha256.exe"}


def pe_image(pe32plus, overlay=b"", data_text=DATA_TEXT):
    """A two-section GUI image; `overlay` follows the last section."""
    sections = [
        (b".text", b"\x31\xc0\xc3", 0x60000020),  # xor eax, eax; ret
        (b".data", data_text, 0xC0000040),
    ]
    optional_size = 240 if pe32plus else 224
    headers_end = 0x40 + 4 + 20 + optional_size + 40 * len(sections)
    size_of_headers = -(-headers_end // FILE_ALIGNMENT) * FILE_ALIGNMENT

    dos = bytearray(0x40)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 0x40)

    machine, characteristics = (0x8664, 0x0022) if pe32plus else (0x014C, 0x0102)
    coff = struct.pack("<HHIIIHH", machine, len(sections), 0, 0, 0, optional_size,
                       characteristics)

    size_of_image = SECTION_ALIGNMENT * (1 + len(sections))
    if pe32plus:
        optional = struct.pack("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII", 0x20B, 14, 0,
                               FILE_ALIGNMENT, FILE_ALIGNMENT, 0, 0x1000, 0x1000,
                               0x140000000, SECTION_ALIGNMENT, FILE_ALIGNMENT,
                               6, 0, 1, 0, 6, 0, 0, size_of_image, size_of_headers,
                               0, 2, 0x8160, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    else:
        optional = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 14, 0,
                               FILE_ALIGNMENT, FILE_ALIGNMENT, 0, 0x1000, 0x1000, 0x2000,
                               0x400000, SECTION_ALIGNMENT, FILE_ALIGNMENT,
                               6, 0, 1, 0, 6, 0, 0, size_of_image, size_of_headers,
                               0, 2, 0x8140, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    optional += bytes(16 * 8)  # data directories, all empty
    assert len(optional) == optional_size

    table = b""
    raw = b""
    for i, (name, content, flags) in enumerate(sections):
        raw_size = -(-len(content) // FILE_ALIGNMENT) * FILE_ALIGNMENT
        table += struct.pack("<8sIIIIIIHHI", name, len(content),
                             SECTION_ALIGNMENT * (i + 1), raw_size,
                             size_of_headers + len(raw), 0, 0, 0, 0, flags)
        raw += content.ljust(raw_size, b"\0")

    headers = (bytes(dos) + b"PE\0\0" + coff + optional + table).ljust(size_of_headers, b"\0")
    return headers + raw + overlay


def run(*command):
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True)
    if result.returncode != 0:
        sys.exit("%s failed:\n%s" % (" ".join(command), result.stderr))


def make(out, work):
    def kept(name):
        return os.path.join(out, name)

    def scratch(name):
        return os.path.join(work, name)

    # What osslsigncode takes with -certs: the signer's certificate, and for
    # an issued one the CA's ahead of it.
    chains = {}
    for name, subject in SELF_SIGNED.items():
        run("openssl", "req", "-x509", "-utf8", "-newkey", "rsa:2048", "-nodes",
            "-keyout", scratch(name + ".key"), "-out", kept(name + ".pem"),
            "-days", "3650", "-subj", subject, *CODE_SIGNING)
        chains[name] = kept(name + ".pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
        "-keyout", scratch("ca.key"), "-out", scratch("ca.pem"), "-days", "3650",
        "-subj", CA_SUBJECT, "-addext", "basicConstraints=critical,CA:true",
        "-addext", "keyUsage=critical,keyCertSign")
    for name, subject in ISSUED.items():
        run("openssl", "req", "-new", "-utf8", "-newkey", "rsa:2048", "-nodes",
            "-keyout", scratch(name + ".key"), "-out", scratch(name + ".csr"),
            "-subj", subject, *CODE_SIGNING)
        run("openssl", "x509", "-req", "-in", scratch(name + ".csr"),
            "-copy_extensions", "copy", "-CA", scratch("ca.pem"), "-CAkey", scratch("ca.key"),
            "-set_serial", "2", "-days", "3650", "-out", kept(name + ".pem"))
        chains[name] = scratch(name + "-chain.pem")
        with open(chains[name], "w") as chain:
            for part in (scratch("ca.pem"), kept(name + ".pem")):
                with open(part) as f:
                    chain.write(f.read())

    changed = bytearray(DATA_TEXT)
    changed[0] ^= 0x20
    images = {
        kept("pe32.exe"): pe_image(False),
        kept("pe64.exe"): pe_image(True),
        kept("overlay.exe"): pe_image(False, overlay=b"extra"),
        scratch("pe32-changed.exe"): pe_image(False, data_text=bytes(changed)),
    }
    for path, image in images.items():
        with open(path, "wb") as f:
            f.write(image)

    for image, certificate, digest in SIGNED:
        unsigned = kept(image + ".exe")
        if not os.path.exists(unsigned):
            unsigned = scratch(image + ".exe")
        signed = kept("%s-%s-%s.exe" % (image, certificate, digest))
        if os.path.exists(signed):
            os.remove(signed)  # osslsigncode overwrites no file
        run("osslsigncode", "sign", "-certs", chains[certificate],
            "-key", scratch(certificate + ".key"), "-h", digest, "-n", "camsetup test",
            "-in", unsigned, "-out", signed)


def main():
    if len(sys.argv) > 2:
        sys.exit("usage: make_fixtures.py [OUT_DIR]")
    out = sys.argv[1] if len(sys.argv) == 2 else HERE
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        make(out, work)
    if os.path.abspath(out) == HERE:
        seeds = os.path.join(HERE, "..", "fuzz", "corpus", "fuzz_authenticode")
        os.makedirs(seeds, exist_ok=True)
        for seed, source in SEEDS.items():
            shutil.copyfile(os.path.join(out, source), os.path.join(seeds, seed))


if __name__ == "__main__":
    main()
