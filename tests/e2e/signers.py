"""Throwaway Authenticode signers for the end-to-end scenarios.

A CA made with openssl issues a code-signing certificate to each publisher;
osslsigncode signs copies of the launcher, the stand-in installer and MSI
packages with them (SHA-256). Keys are made fresh for each set of signed
files and never leave the build folder. Wine's WinVerifyTrust judges the
digest and the signer, not the root or the expiry, so the CA need not be
trusted anywhere.
"""
import shutil
import subprocess
from pathlib import Path

PUBLISHER = "Oskendal Camera Co"  # signs the launcher
OTHER = "Chip Maker Ltd"          # another publisher: a chip maker's installer
SIGNERS = {"publisher": PUBLISHER, "other": OTHER}
TOOLS = ("openssl", "osslsigncode")
TOOLS_PACKAGES = "Debian packages openssl and osslsigncode; scripts/install-deps.sh installs them"

LEAF_EXTENSIONS = ("basicConstraints=critical,CA:FALSE\n"
                   "keyUsage=critical,digitalSignature\n"
                   "extendedKeyUsage=codeSigning\n"
                   "subjectKeyIdentifier=hash\n"
                   "authorityKeyIdentifier=keyid\n")


def missing_tools():
    return [t for t in TOOLS if shutil.which(t) is None]


def _run(argv, cwd):
    r = subprocess.run([str(a) for a in argv], cwd=cwd, capture_output=True, text=True,
                       stdin=subprocess.DEVNULL)
    if r.returncode != 0:
        raise RuntimeError("%s failed (status %d):\n%s" % (" ".join(map(str, argv)),
                                                           r.returncode, r.stdout + r.stderr))


def make_certificates(d: Path):
    """A CA and one code-signing certificate for each of SIGNERS, in `d`:
    <signer>.pem and <signer>.key."""
    d.mkdir(parents=True, exist_ok=True)
    (d / "leaf.ext").write_text(LEAF_EXTENSIONS)
    _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
          "-out", "ca.pem", "-days", "2", "-subj", "/CN=camsetup e2e test CA",
          "-addext", "basicConstraints=critical,CA:TRUE",
          "-addext", "keyUsage=critical,keyCertSign,cRLSign"], d)
    for signer, name in SIGNERS.items():
        _run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", signer + ".key",
              "-out", signer + ".csr", "-subj", "/CN=%s/O=%s" % (name, name)], d)
        _run(["openssl", "x509", "-req", "-in", signer + ".csr", "-CA", "ca.pem",
              "-CAkey", "ca.key", "-CAcreateserial", "-days", "2", "-extfile", "leaf.ext",
              "-out", signer + ".pem"], d)


def sign(source: Path, target: Path, keys: Path, signer: str, nest=False):
    """`source` signed by `signer` (a key of SIGNERS) into `target`; the
    source is left as it was. `nest`: the signature is added to the one that
    `source` carries as a nested signature, which leaves that one primary."""
    source, target = Path(source).resolve(), Path(target).resolve()
    target.unlink(missing_ok=True)
    _run(["osslsigncode", "sign", *(["-nest"] if nest else []),
          "-certs", keys / (signer + ".pem"), "-key", keys / (signer + ".key"),
          "-h", "sha256", "-in", source, "-out", target], keys)


DOS_STUB_TEXT = b"This program cannot be run in DOS mode"


def tamper(path: Path):
    """Changes one byte that the signature's digest covers and the program
    never runs: a letter of the DOS stub's text."""
    data = bytearray(path.read_bytes())
    at = data.find(DOS_STUB_TEXT)
    if at < 0:
        raise RuntimeError("%s has no DOS stub text to change" % path)
    data[at] ^= 0x20  # "This" becomes "this"
    path.write_bytes(bytes(data))
