#!/usr/bin/env python3
"""The Wine lab's own behaviour, in a prefix of its own:
- a new prefix is made before the persistent wineserver starts, and that
  server starts (started first, it fails, and every program then starts and
  stops a server of its own);
- a run that leaves no result says how Wine ended and what it printed;
- a prefix that another Wine installation made is made again, and works.

usage: lab_test.py --driver EXE --standin EXE --work DIR
"""
import argparse
import shutil
import sys
from pathlib import Path

from winelab import STAMP, Lab

results = []


def check(name, problems):
    results.append(not problems)
    print("%-4s %s" % ("ok" if not problems else "FAIL", name))
    for p in problems:
        print("    " + p)
    sys.stdout.flush()


def run_standin(lab):
    """The stand-in installer, through the driver: it exits with 3."""
    outcome, _ = lab.run("standin", {}, lab.standin, "x/standin.exe",
                         '"{root}\\x\\standin.exe" /S', "{root}")
    return outcome


def main():
    parser = argparse.ArgumentParser()
    for name in ("driver", "standin", "work"):
        parser.add_argument("--" + name, required=True, type=Path)
    args = parser.parse_args()
    work = args.work.resolve()
    shutil.rmtree(work, ignore_errors=True)

    with Lab(work, args.driver, args.standin) as lab:
        made_by = (lab.prefix / STAMP).read_text()
        server_log = (lab.logs / "wineserver.log").read_text()
        outcome = run_standin(lab)
        check("a new prefix, then the persistent wineserver",
              ([] if outcome.exits == [3] and not outcome.other else
               ["stand-in run: exits %r, other %r" % (outcome.exits, outcome.other)]) +
              (["wineserver.log: " + server_log] if server_log.strip() else []))

        lab.driver_win = "C:\\e2e-tools\\no-such-driver.exe"
        outcome, _ = lab.run("no_result", {}, lab.standin, "x/standin.exe",
                             '"{root}\\x\\standin.exe"', "{root}")
        other = outcome.other
        problems = []
        if len(other) != 1 or not other[0].startswith("no-result: wine64 exited with status "):
            problems.append("outcome %r" % other)
        elif " status 0 " in other[0] or "no-such-driver" not in other[0]:
            problems.append("no exit status or no output of Wine's in %r" % other[0])
        check("no result: Wine's exit status and output", problems)

    # As if another Wine installation had made the prefix.
    sentinel = lab.prefix / "drive_c" / "made-by-the-other-wine.txt"
    sentinel.write_text("x")
    (lab.prefix / STAMP).write_text(made_by.replace("x64 ", "x64 (another Wine) ", 1))
    with Lab(work, args.driver, args.standin) as lab:
        outcome = run_standin(lab)
        problems = []
        if sentinel.exists():
            problems.append("the old prefix was kept")
        if (lab.prefix / STAMP).read_text() != made_by:
            problems.append("stamp %r" % (lab.prefix / STAMP).read_text())
        if outcome.exits != [3] or outcome.other:
            problems.append("stand-in run: exits %r, other %r" % (outcome.exits, outcome.other))
        check("a prefix made by another Wine is made again", problems)

    passed = sum(results)
    print("%d passed, %d failed" % (passed, len(results) - passed))
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
