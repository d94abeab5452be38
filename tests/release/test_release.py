#!/usr/bin/env python3
"""Tests of scripts/release.sh: the archive's contents, its reproducibility
and its signed form.

- contents: one folder camsetup-VERSION/ with the expected files, the x86 and
  x64 launchers and the x86 console checker, SHA256SUMS passing
  `sha256sum -c`, the launchers passing tests/windows/check_executable.py, no
  link time stamp and no build folder in the programs, and setup.ini read
  as the sample's three models (its comments are comments);
- reproducible: two copies of the source tree, in two folders, built at two
  times into two build folders, give byte-identical archives;
- signed: with a throwaway CA and code-signing certificate made with openssl,
  every .exe verifies with `osslsigncode verify -CAfile`, the signed
  launchers still pass the executable checks, and the signed launcher still
  runs its camera-found scenario under Wine, starting a stand-in installer
  signed with the same certificate (it refuses an unsigned one).

usage: test_release.py [--keep DIR]
Needs the windows-x64 and windows-x86 builds (for the Wine run) and the host
build (build/host/camsetup-check, for reading setup.ini).
"""
import argparse
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from winelab import pe_arch  # noqa: E402

FILES = ["LICENSE", "README.txt", "SHA256SUMS", "camsetup-check.exe", "camsetup.exe",
         "setup.ini", "x64/camsetup.exe"]
OBJDUMP = {"x86": "i686-w64-mingw32-objdump", "x64": "x86_64-w64-mingw32-objdump"}

results = []


def check(name, problems):
    results.append(not problems)
    print("%-4s %s" % ("ok" if not problems else "FAIL", name))
    for p in problems:
        print("    " + p)
    sys.stdout.flush()


def run(argv, **kw):
    return subprocess.run([str(a) for a in argv], capture_output=True, text=True, **kw)


def copy_tree(dest: Path):
    """The source tree as a commit of it would hold it: tracked files and
    untracked ones that are not ignored."""
    listed = run(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others",
                  "--exclude-standard"], check=True).stdout
    for rel in sorted(set(filter(None, listed.split("\0")))):
        src = ROOT / rel
        if src.is_file():
            (dest / rel).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(src, dest / rel)


def release(source: Path, out: Path, env):
    start = time.monotonic()
    r = run(["sh", source / "scripts" / "release.sh", out], env=env)
    if r.returncode != 0:
        raise RuntimeError("release.sh failed:\n" + r.stdout + r.stderr)
    lines = r.stdout.strip().splitlines()
    return Path(lines[-1]), time.monotonic() - start


def extract(archive: Path, dest: Path):
    with zipfile.ZipFile(archive) as z:
        z.extractall(dest)
        return z.infolist()


def pe_info(data: bytes):
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    machine, _, stamp = struct.unpack_from("<HHI", data, pe + 4)
    (subsystem,) = struct.unpack_from("<H", data, pe + 24 + 68)
    return machine, stamp, subsystem


def version():
    for line in (ROOT / "CMakeLists.txt").read_text().splitlines():
        if line.startswith("project(camsetup VERSION "):
            return line.split()[2]
    raise RuntimeError("no project version in CMakeLists.txt")


def test_contents(archive: Path, infos, folder: Path, build_paths):
    problems = []
    top = folder.name
    names = sorted(i.filename for i in infos if not i.filename.endswith("/"))
    if names != sorted(top + "/" + f for f in FILES):
        problems.append("entries %s" % names)
    if sorted(i.filename for i in infos) != [i.filename for i in infos]:
        problems.append("entries not sorted")
    if len({i.date_time for i in infos}) != 1:
        problems.append("entries of several dates: %s" % {i.date_time for i in infos})
    r = run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder)
    if r.returncode != 0:
        problems.append("sha256sum -c: " + r.stdout + r.stderr)
    listed = sorted(line.split("  ", 1)[1] for line in
                    (folder / "SHA256SUMS").read_text().splitlines())
    if listed != sorted(f for f in FILES if f != "SHA256SUMS"):
        problems.append("SHA256SUMS lists %s" % listed)
    for rel, arch, subsystem in [("camsetup.exe", "x86", 2), ("x64/camsetup.exe", "x64", 2),
                                 ("camsetup-check.exe", "x86", 3)]:
        data = (folder / rel).read_bytes()
        machine, stamp, sub = pe_info(data)
        if pe_arch(folder / rel) != arch:
            problems.append("%s: machine %#x, not %s" % (rel, machine, arch))
        if stamp != 0:
            problems.append("%s: link time stamp %#x" % (rel, stamp))
        if sub != subsystem:
            problems.append("%s: subsystem %d, want %d" % (rel, sub, subsystem))
        for path in build_paths:
            for needle in (str(path).encode(), str(path).encode("utf-16-le")):
                if needle in data:
                    problems.append("%s holds the build path %s" % (rel, path))
    for rel, arch in [("camsetup.exe", "x86"), ("x64/camsetup.exe", "x64")]:
        r = run([sys.executable, ROOT / "tests" / "windows" / "check_executable.py",
                 "--objdump", OBJDUMP[arch], "--version", version(), folder / rel])
        if r.returncode != 0:
            problems.append("check_executable.py %s:\n%s" % (rel, r.stdout))
    if b"\r\n" not in (folder / "setup.ini").read_bytes():
        problems.append("setup.ini lacks CR LF line ends")
    checker = ROOT / "build" / "host" / "camsetup-check"
    if checker.exists():
        r = run([checker, folder, "--json"])
        report = json.loads(r.stdout)
        models = [(m["section"], m["path"], m["codes"]) for m in report["models"]]
        want = [("Camera1", "ModelA\\setup.exe", ["0A01", "0A02"]),
                ("Camera2", "ModelB\\setup.exe", ["0B01"]),
                ("Camera3", "Model C\\setup.exe", ["0C01", "0C02", "0C03"])]
        if models != want:
            problems.append("setup.ini read as %r" % models)
    else:
        problems.append("no %s to read setup.ini with: build the host preset" % checker)
    check("archive contents (%s, %d bytes)" % (archive.name, archive.stat().st_size), problems)


def make_ca(d: Path):
    """A throwaway CA and a code-signing certificate issued by it."""
    def openssl(*args):
        run(["openssl", *args], check=True, cwd=d)
    (d / "leaf.ext").write_text("basicConstraints=critical,CA:FALSE\n"
                                "keyUsage=critical,digitalSignature\n"
                                "extendedKeyUsage=codeSigning\n"
                                "subjectKeyIdentifier=hash\n"
                                "authorityKeyIdentifier=keyid\n")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out",
            "ca.pem", "-days", "2", "-subj", "/CN=camsetup test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "sign.key", "-out", "sign.csr",
            "-subj", "/CN=camsetup test signer/O=camsetup test")
    openssl("x509", "-req", "-in", "sign.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "leaf.ext", "-out", "sign.pem")
    return d / "ca.pem", d / "sign.pem", d / "sign.key"


def test_signed(folder: Path, ca: Path, other_ca: Path, unsigned: Path, work: Path):
    problems = []
    for rel in ("camsetup.exe", "x64/camsetup.exe", "camsetup-check.exe"):
        r = run(["osslsigncode", "verify", "-CAfile", ca, "-in", folder / rel])
        if r.returncode != 0:
            problems.append("osslsigncode verify %s:\n%s" % (rel, r.stdout + r.stderr))
        if "sha256" not in r.stdout.lower():
            problems.append("%s: no SHA-256 digest in the signature" % rel)
        if (folder / rel).read_bytes() == (unsigned / rel).read_bytes():
            problems.append("%s is not signed" % rel)
        # Without the signature, the same program.
        stripped = work / ("stripped-" + rel.replace("/", "-"))
        r = run(["osslsigncode", "remove-signature", "-in", folder / rel, "-out", stripped])
        if r.returncode != 0 or stripped.read_bytes() != (unsigned / rel).read_bytes():
            problems.append("%s less its signature differs from the unsigned build" % rel)
    # Another CA does not vouch for it.
    r = run(["osslsigncode", "verify", "-CAfile", other_ca, "-in", folder / "camsetup.exe"])
    if r.returncode == 0:
        problems.append("camsetup.exe verifies against another CA too")
    r = run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder)
    if r.returncode != 0:
        problems.append("sha256sum -c of the signed files: " + r.stdout + r.stderr)
    for rel, arch in [("camsetup.exe", "x86"), ("x64/camsetup.exe", "x64")]:
        r = run([sys.executable, ROOT / "tests" / "windows" / "check_executable.py",
                 "--objdump", OBJDUMP[arch], "--version", version(), folder / rel])
        if r.returncode != 0:
            problems.append("check_executable.py on the signed %s:\n%s" % (rel, r.stdout))
    check("signed: osslsigncode verify -CAfile, SHA256SUMS, executable checks", problems)


def test_signed_under_wine(folder: Path, cert: Path, key: Path):
    """The signed launcher's camera-found scenario, through the end-to-end
    runner and the Windows builds' driver. A signed launcher starts only what
    its publisher signed, so the stand-in installer is signed with the same
    certificate."""
    # The x86 launcher runs where 32-bit Wine does, which may be the x86 VM;
    # that machine sees the repository only, so the launcher is put there.
    signed = ROOT / "build" / "release-signed"
    shutil.rmtree(signed, ignore_errors=True)
    signed.mkdir(parents=True)
    for arch, rel in [("x86", "camsetup.exe"), ("x64", "x64/camsetup.exe")]:
        build = ROOT / "build" / ("windows-" + arch)
        tools = build / "tests" / "windows"
        launcher = signed / arch / "camsetup.exe"
        launcher.parent.mkdir()
        shutil.copyfile(folder / rel, launcher)
        standin = signed / arch / "e2e_standin.exe"
        run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
             "-in", tools / "e2e_standin.exe", "-out", standin], check=True)
        runner = ([sys.executable, ROOT / "tests" / "vm" / "x86_vm.py",
                   "--work", build / "e2e-signed", "--"] if arch == "x86" else [])
        r = run(runner + ["python3", ROOT / "tests" / "e2e" / "run_e2e.py", "--arch", arch,
                          "--only", "typical_run", "--launcher", launcher,
                          "--driver", tools / "e2e_driver.exe",
                          "--standin", standin,
                          "--marker", tools / "e2e_marker.dll",
                          "--work", build / "e2e-signed"], timeout=3600)
        ok = r.returncode == 0 and "\nok   typical_run" in "\n" + r.stdout
        check("signed %s launcher under Wine: typical_run" % arch,
              [] if ok else ["run_e2e.py exited with %d:\n%s" % (r.returncode,
                                                                r.stdout + r.stderr)])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--keep", type=Path, help="work here, and leave it")
    args = parser.parse_args()
    if args.keep:
        shutil.rmtree(args.keep, ignore_errors=True)
        args.keep.mkdir(parents=True)
        work = args.keep.resolve()
    else:
        tmp = tempfile.TemporaryDirectory(prefix="camsetup-release-")
        work = Path(tmp.name)

    env = dict(os.environ)
    env.pop("CAMSETUP_SIGN_CERT", None)
    env.pop("CAMSETUP_SIGN_KEY", None)
    env.pop("CAMSETUP_SIGN_TIMESTAMP_URL", None)
    # One commit time for both builds; the copies have no history of their own.
    env["SOURCE_DATE_EPOCH"] = run(["git", "-C", ROOT, "log", "-1", "--format=%ct"],
                                   check=True).stdout.strip()

    # Two copies of the tree in two folders, built one after the other into
    # build folders of different names.
    builds = []
    for name, out in (("first", "build/release"), ("second", "out-of-tree/elsewhere")):
        source = work / name / "camsetup-src"
        copy_tree(source)
        archive, seconds = release(source, source / out, env)
        builds.append((source, archive))
        print("     built %s in %.0f s: %s" % (name, seconds, archive))
        time.sleep(2)  # a different time of day, at the zip's resolution
    (a_src, a), (b_src, b) = builds
    digests = [hashlib.sha256(p.read_bytes()).hexdigest() for p in (a, b)]
    for p, digest in zip((a, b), digests):
        print("     sha256 %s  %s" % (digest, p))
    check("reproducible: two source folders, two build folders, the same archive",
          [] if a.read_bytes() == b.read_bytes() else
          ["%s and %s differ (%s, %s)" % (a, b, *digests)])

    unsigned = work / "unsigned"
    infos = extract(a, unsigned)
    folder = unsigned / ("camsetup-" + version())
    test_contents(a, infos, folder, [a_src, b_src, a.parent, b.parent])

    (work / "other").mkdir()
    other_ca = make_ca(work / "other")[0]
    ca, cert, key = make_ca(work)
    env.update(CAMSETUP_SIGN_CERT=str(cert), CAMSETUP_SIGN_KEY=str(key))
    signed_archive, _ = release(a_src, a.parent, env)  # the same build folder
    signed = work / "signed"
    extract(signed_archive, signed)
    test_signed(signed / folder.name, ca, other_ca, folder, work)
    test_signed_under_wine(signed / folder.name, cert, key)

    passed = sum(results)
    print("%d passed, %d failed" % (passed, len(results) - passed))
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
