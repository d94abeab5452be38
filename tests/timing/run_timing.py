#!/usr/bin/env python3
"""Times camsetup.exe under Wine without a debugger.

One package with a camera attached; launch_timer.exe starts each program
with CreateProcessA and waits for it, in interleaved rounds:
  launcher   camsetup.exe finding the camera and starting the installer
  installer  the stand-in installer alone
  baseline   baseline.exe, the least a launcher can do: no C runtime, the
             same profile reads and device calls (SETUPAPI from the system
             folder, USER32 never), then the same installer
It prints the medians and the launcher's ratio to the baseline, and fails
only when that ratio is grossly off (above --limit).

usage: run_timing.py --launcher EXE --timer EXE --baseline EXE --driver EXE
                     --standin EXE --work DIR [--rounds N] [--also NAME=EXE ...]
                     [--also-baseline NAME=EXE ...]
Exit status 0 when within the limit, 1 otherwise, 77 when this Wine cannot
run the programs' architecture.
"""
import argparse
import shutil
import statistics
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from winelab import STANDIN, Lab, ini, wine32_problem  # noqa: E402

SKIP = 77
FILES = {
    "pkg/setup.ini": ini((1, "Cam1\\setup.exe", "1111"), (2, "Cam2\\setup.exe", "ABCD")),
    "pkg/Cam1/setup.exe": STANDIN,
    "pkg/Cam2/setup.exe": STANDIN,
}
CAMERA = [("E2E\\DEV_00\\1", ["USB\\VID_5A3D&PID_ABCD&REV_0100", "USB\\VID_5A3D&PID_ABCD"])]


def main():
    parser = argparse.ArgumentParser()
    for name in ("launcher", "timer", "baseline", "driver", "standin", "work"):
        parser.add_argument("--" + name, required=True, type=Path)
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

    why = wine32_problem() if args.arch == "x86" else None
    if why:
        print("SKIPPED: the x86 launcher cannot be timed here: " + why)
        return SKIP

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
    # Every run that should have started the installer did.
    log = root / "pkg" / "Cam2" / "setup.exe.log"
    starts = log.read_text().count("cmdline ")
    expected = 1 + (args.rounds + 1) * len(programs)
    if starts != expected:
        print("FAIL the installer was started %d times, not %d" % (starts, expected))
        return 1

    median = {name: statistics.median(v) / 1000 for name, v in samples.items()}
    print("%s, medians of %d interleaved runs, no debugger:" % (args.arch, args.rounds))
    for name, _ in programs:
        print("  %-10s %7.1f ms" % (name, median[name]))
    ratio = median["launcher"] / median["baseline"]
    print("  launcher / baseline: %.2f (goal 1.05, fails above %.2f)" % (ratio, args.limit))
    for name, _ in programs[3:]:
        print("  %s / baseline: %.2f" % (name, median[name] / median["baseline"]))
    return 0 if ratio <= args.limit else 1


if __name__ == "__main__":
    sys.exit(main())
