#!/usr/bin/env python3
"""Times camsetup.exe under Wine without a debugger.

One package with a camera attached; launch_timer.exe starts each program
with CreateProcessA and waits for it, in interleaved rounds:
  launcher   camsetup.exe finding the camera and starting the installer
  installer  the stand-in installer alone
  baseline   baseline.exe, the least a launcher can do: no C runtime, the
             same profile reads and device calls (SETUPAPI from the system
             folder, USER32 never), then the same installer
With --signed, in the same rounds:
  signed     a signed copy of camsetup.exe in a package of its own, finding
             the camera and starting a copy of the stand-in signed by the
             same publisher: its own signature and the installer's checked
It prints the medians and the launcher's ratio to the baseline, and fails
only when that ratio is grossly off (above --limit), or the signed
launcher's to the unsigned one's (above --signed-limit).

usage: run_timing.py --launcher EXE --timer EXE --baseline EXE --driver EXE
                     --standin EXE --work DIR [--rounds N] [--signed DIR]
                     [--also NAME=EXE ...] [--also-baseline NAME=EXE ...]
       run_timing.py --build-signed DIR --launcher EXE --standin EXE
The signed copies are made in --signed DIR with throwaway certificates where
openssl and osslsigncode are at hand; elsewhere (the x86 virtual machine)
those that --build-signed made there from the same files are taken.
Exit status 0 when within the limit, 1 otherwise, 77 when this Wine cannot
run the programs' architecture.
"""
import argparse
import hashlib
import shutil
import statistics
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
import signers  # noqa: E402
from winelab import STANDIN, Lab, ini, wine32_problem  # noqa: E402

SKIP = 77
FILES = {
    "pkg/setup.ini": ini((1, "Cam1\\setup.exe", "1111"), (2, "Cam2\\setup.exe", "ABCD")),
    "pkg/Cam1/setup.exe": STANDIN,
    "pkg/Cam2/setup.exe": STANDIN,
}
CAMERA = [("E2E\\DEV_00\\1", ["USB\\VID_5A3D&PID_ABCD&REV_0100", "USB\\VID_5A3D&PID_ABCD"])]
# About twice the signed launcher's usual ratio to the unsigned one (3.3 on
# x64, 7.5 on x86 in the virtual machine): most of its cost is Wine's
# cryptography starting, which software emulation slows the most.
SIGNED_LIMIT = {"x64": 7.0, "x86": 15.0}
MADE_FROM = "made-from.txt"  # in the signed folder: the digests of the unsigned files


def made_from(launcher: Path, standin: Path):
    return "".join("%s %s\n" % (name, hashlib.sha256(Path(p).read_bytes()).hexdigest())
                   for name, p in (("launcher", launcher), ("standin", standin)))


def build_signed(folder: Path, launcher: Path, standin: Path):
    """The launcher and the stand-in signed by one publisher, with keys made
    for them and dropped, into `folder` as camsetup.exe and setup.exe."""
    missing = signers.missing_tools()
    if missing:
        raise RuntimeError("%s missing: the signed launcher is signed with them (%s)"
                           % (", ".join(missing), signers.TOOLS_PACKAGES))
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    with tempfile.TemporaryDirectory(prefix="camsetup-timing-keys-") as keys:
        signers.make_certificates(Path(keys))
        signers.sign(launcher, folder / "camsetup.exe", Path(keys), "publisher")
        signers.sign(standin, folder / "setup.exe", Path(keys), "publisher")
    (folder / MADE_FROM).write_text(made_from(launcher, standin))


def signed_files(folder: Path, launcher: Path, standin: Path):
    """(signed launcher, signed stand-in): made now where the tools are at
    hand, else those that --build-signed made from the same files."""
    if not signers.missing_tools():
        build_signed(folder, launcher, standin)
    stamp = folder / MADE_FROM
    if not stamp.exists() or stamp.read_text() != made_from(launcher, standin):
        raise RuntimeError("no signed launcher in %s made from this launcher and stand-in: "
                           "make it with run_timing.py --build-signed %s --launcher ... "
                           "--standin ..., where openssl and osslsigncode are" % (folder, folder))
    return folder / "camsetup.exe", folder / "setup.exe"


def main():
    parser = argparse.ArgumentParser()
    for name in ("launcher", "timer", "baseline", "driver", "standin", "work"):
        parser.add_argument("--" + name, type=Path)
    parser.add_argument("--signed", type=Path, metavar="DIR",
                        help="also time a signed launcher, with the signed files of DIR")
    parser.add_argument("--signed-limit", type=float,
                        help="the signed-to-unsigned launcher ratio above which the run fails "
                             "(default: %s)" % ", ".join("%s on %s" % (v, k)
                                                         for k, v in SIGNED_LIMIT.items()))
    parser.add_argument("--build-signed", type=Path, metavar="DIR",
                        help="only sign copies of the launcher and the stand-in into DIR")
    parser.add_argument("--arch", default="x64", choices=["x64", "x86"])
    parser.add_argument("--rounds", type=int, default=21)
    parser.add_argument("--limit", type=float, default=2.0,
                        help="the launcher-to-baseline ratio above which the run fails")
    parser.add_argument("--also", action="append", default=[], metavar="NAME=EXE",
                        help="another launcher to time in the same rounds (e.g. an older build)")
    parser.add_argument("--also-baseline", action="append", default=[], metavar="NAME=EXE",
                        help="another program to time as the baseline is timed, given the "
                             "installer's command line")
    args = parser.parse_args()
    needed = ("launcher", "standin") if args.build_signed else \
        ("launcher", "timer", "baseline", "driver", "standin", "work")
    for name in needed:
        if getattr(args, name) is None:
            parser.error("--%s is required" % name)
    if args.build_signed:
        try:
            build_signed(args.build_signed.resolve(), args.launcher, args.standin)
        except RuntimeError as e:
            print(e)
            return 1
        print("signed launcher and stand-in made in %s" % args.build_signed)
        return 0

    why = wine32_problem() if args.arch == "x86" else None
    if why:
        print("SKIPPED: the x86 launcher cannot be timed here: " + why)
        return SKIP

    signed = None
    if args.signed:
        try:
            signed = signed_files(args.signed.resolve(), args.launcher, args.standin)
        except RuntimeError as e:
            print(e)
            return 1

    with Lab(args.work, args.driver, args.standin) as lab:
        # The driver writes the devices into the prefix's registry and runs
        # the launcher once under its eye: the set-up is checked before
        # anything is timed.
        outcome, fill = lab.run("timing", FILES, args.launcher, "pkg/camsetup.exe",
                                '"{root}\\pkg\\camsetup.exe" /S', "{root}\\pkg", devices=CAMERA)
        installer = fill('"{root}\\pkg\\Cam2\\setup.exe" /S')
        if [s[1] for s in outcome.started] != [installer] or outcome.boxes:
            print("FAIL set-up: the launcher did not start the installer: %r %r"
                  % (outcome.started, outcome.boxes))
            return 1

        root = lab.prefix / "drive_c" / "e2e" / "timing"
        tools = lab.prefix / "drive_c" / "e2e-tools"
        shutil.copyfile(args.timer, tools / "launch_timer.exe")
        shutil.copyfile(args.baseline, root / "pkg" / "baseline.exe")
        programs = [("launcher", fill('"{root}\\pkg\\camsetup.exe" /S')),
                    ("installer", installer),
                    ("baseline", fill('"{root}\\pkg\\baseline.exe" ') + installer)]
        signed_log = None
        if signed:
            # A package of its own: the same setup.ini, the installers signed
            # by the launcher's publisher; checked once under the driver (an
            # installer refused would not start).
            signed_launcher, signed_standin = signed
            files = {rel: signed_standin if c is STANDIN else c for rel, c in FILES.items()}
            outcome, fill_signed = lab.run("timing-signed", files, signed_launcher,
                                           "pkg/camsetup.exe",
                                           '"{root}\\pkg\\camsetup.exe" /S', "{root}\\pkg",
                                           devices=CAMERA)
            signed_installer = fill_signed('"{root}\\pkg\\Cam2\\setup.exe" /S')
            if [s[1] for s in outcome.started] != [signed_installer] or outcome.boxes:
                print("FAIL set-up: the signed launcher did not start the signed installer: "
                      "%r %r" % (outcome.started, outcome.boxes))
                return 1
            programs.append(("signed", fill_signed('"{root}\\pkg\\camsetup.exe" /S')))
            signed_log = lab.prefix / "drive_c" / "e2e" / "timing-signed" / "pkg" / "Cam2" / \
                "setup.exe.log"
        for also in args.also:
            name, exe = also.split("=", 1)
            shutil.copyfile(exe, root / "pkg" / (name + ".exe"))
            programs.append((name, fill('"{root}\\pkg\\%s.exe" /S' % name)))
        for also in args.also_baseline:
            name, exe = also.split("=", 1)
            shutil.copyfile(exe, root / "pkg" / (name + ".exe"))
            programs.append((name, fill('"{root}\\pkg\\%s.exe" ' % name) + installer))

        control = lab.work / "control" / "timing"
        job, result = control / "timer-job.txt", control / "timer-result.txt"
        lines = ["rounds %d" % args.rounds, "timeout 20000",
                 "cwd " + fill("{root}\\pkg").encode("cp1252").hex()]
        lines += ["program %s %s" % (n, c.encode("cp1252").hex()) for n, c in programs]
        job.write_text("\n".join(lines) + "\n")
        status = lab.wine(["wine", lab.windows_path(tools / "launch_timer.exe"),
                           "Z:" + str(job).replace("/", "\\"),
                           "Z:" + str(result).replace("/", "\\")], "timer.log", timeout=900)

    samples = {name: [] for name, _ in programs}
    problems = []
    for line in (result.read_text().splitlines() if result.exists() else ["no result"]):
        f = line.split()
        if f[0] == "run":
            samples[f[1]].append(int(f[2]))
            # The stand-in ends with 3; the launcher and the baseline with 0.
            if int(f[3]) != (3 if f[1] == "installer" else 0):
                problems.append("%s ended with %s" % (f[1], f[3]))
        else:
            problems.append(line)
    if status != 0 or problems or any(len(v) != args.rounds for v in samples.values()):
        print("FAIL timer (exit %d): %s" % (status, "; ".join(sorted(set(problems)))))
        return 1
    # Every run that should have started the installer did: the signed
    # launcher its own package's (it exits with 0 also when it refuses one).
    log = root / "pkg" / "Cam2" / "setup.exe.log"
    starts = log.read_text().count("cmdline ")
    expected = 1 + (args.rounds + 1) * (len(programs) - (1 if signed else 0))
    if starts != expected:
        print("FAIL the installer was started %d times, not %d" % (starts, expected))
        return 1
    if signed:
        starts = signed_log.read_text().count("cmdline ")
        if starts != 1 + args.rounds + 1:
            print("FAIL the signed installer was started %d times, not %d"
                  % (starts, 1 + args.rounds + 1))
            return 1

    median = {name: statistics.median(v) / 1000 for name, v in samples.items()}
    print("%s, medians of %d interleaved runs, no debugger:" % (args.arch, args.rounds))
    for name, _ in programs:
        print("  %-10s %7.1f ms" % (name, median[name]))
    ratio = median["launcher"] / median["baseline"]
    print("  launcher / baseline: %.2f (goal 1.05, fails above %.2f)" % (ratio, args.limit))
    for name, _ in programs[3:]:
        print("  %s / baseline: %.2f" % (name, median[name] / median["baseline"]))
    failed = ratio > args.limit
    if signed:
        limit = args.signed_limit or SIGNED_LIMIT[args.arch]
        signed_ratio = median["signed"] / median["launcher"]
        print("  signed / launcher: %.2f (fails above %.2f)" % (signed_ratio, limit))
        failed = failed or signed_ratio > limit
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
